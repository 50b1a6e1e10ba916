#include "core/common/JsonLine.h"

#include <charconv>
#include <cmath>

#include "core/common/Utf8.h"

namespace sondrel {
namespace {

constexpr char kHex[] = "0123456789abcdef";

void appendEscaped(std::string& out, unsigned code) {
  out += "\\u00";
  out += kHex[(code >> 4) & 0xF];
  out += kHex[code & 0xF];
}

void appendDigits(std::string& out, std::uint64_t value, int width = 1) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  for (auto n = end - digits; n < width; ++n) out += '0';
  out.append(digits, end);
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

}  // namespace

void AppendJsonString(std::string& out, std::string_view bytes) {
  out += '"';
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  while (i < n) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      if (c == '"' || c == '\\') {
        out += '\\';
        out += static_cast<char>(c);
      } else if (c < 0x20 || c == 0x7F) {
        appendEscaped(out, c);
      } else {
        out += static_cast<char>(c);
      }
      ++i;
      continue;
    }
    const Utf8Piece piece = Utf8PieceAt(bytes, i);
    const std::size_t j = i + piece.length;
    if (!piece.wellFormed) {
      // The bytes up to the first that does not fit are one ill-formed piece.
      out += kReplacementCharacter;
      i = j;
      continue;
    }
    // U+0080 to U+009F are control characters too (0xC2 0x80..0x9F).
    if (c == 0xC2 && static_cast<unsigned char>(bytes[i + 1]) <= 0x9F)
      appendEscaped(out, static_cast<unsigned char>(bytes[i + 1]));
    else
      out.append(bytes.substr(i, j - i));
    i = j;
  }
  out += '"';
}

void JsonLine::key(std::string_view key) {
  if (body_.size() > 1) body_ += ',';
  AppendJsonString(body_, key);
  body_ += ':';
}

JsonLine& JsonLine::text(std::string_view key, std::string_view value) {
  this->key(key);
  AppendJsonString(body_, value);
  return *this;
}

JsonLine& JsonLine::textOrNull(std::string_view key, const std::optional<std::string>& value) {
  return value ? text(key, std::string_view(*value)) : null(key);
}

JsonLine& JsonLine::number(std::string_view key, std::int64_t value) {
  this->key(key);
  char digits[24];
  body_.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
  return *this;
}

JsonLine& JsonLine::number(std::string_view key, const std::optional<std::int64_t>& value) {
  return value ? number(key, *value) : null(key);
}

JsonLine& JsonLine::decimal(std::string_view key, std::int64_t scaled, int places) {
  if (places <= 0) return number(key, scaled);
  if (places > 9) places = 9;
  this->key(key);
  // The magnitude unsigned, so that the lowest int64 has one too.
  const std::uint64_t magnitude =
      scaled < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
  std::uint64_t unit = 1;
  for (int k = 0; k < places; ++k) unit *= 10;
  if (scaled < 0) body_ += '-';
  appendDigits(body_, magnitude / unit);
  body_ += '.';
  appendDigits(body_, magnitude % unit, places);
  return *this;
}

JsonLine& JsonLine::decimal(std::string_view key, const std::optional<std::int64_t>& scaled, int places) {
  return scaled ? decimal(key, *scaled, places) : null(key);
}

JsonLine& JsonLine::boolean(std::string_view key, bool value) {
  this->key(key);
  body_ += value ? "true" : "false";
  return *this;
}

JsonLine& JsonLine::null(std::string_view key) {
  this->key(key);
  body_ += "null";
  return *this;
}

std::optional<std::int64_t> RoundedMicros(const std::optional<double>& us) {
  // Beyond ±2^62 µs (146,000 years) a figure is not a round trip.
  if (!us || !std::isfinite(*us) || std::fabs(*us) > 4.6e18) return std::nullopt;
  return std::llround(*us);
}

std::string Rfc3339Millis(std::int64_t utcUs, std::int32_t offsetSeconds) {
  const std::int32_t offsetMinutes = offsetSeconds / 60;  // towards zero
  const std::int64_t localMs = floorDiv(utcUs, 1000) + std::int64_t{offsetMinutes} * 60'000;
  const std::int64_t days = floorDiv(localMs, 86'400'000);
  const std::int64_t msOfDay = localMs - days * 86'400'000;
  // The civil date of a day count (the inverse of DaysFromCivil).
  const std::int64_t z = days + 719468;
  const std::int64_t era = floorDiv(z, 146097);
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = yoe + era * 400 + (month <= 2);

  std::string out;
  if (year < 0) out += '-';
  appendDigits(out, static_cast<std::uint64_t>(year < 0 ? -year : year), 4);
  out += '-';
  appendDigits(out, static_cast<std::uint64_t>(month), 2);
  out += '-';
  appendDigits(out, static_cast<std::uint64_t>(day), 2);
  out += 'T';
  appendDigits(out, static_cast<std::uint64_t>(msOfDay / 3'600'000), 2);
  out += ':';
  appendDigits(out, static_cast<std::uint64_t>(msOfDay / 60'000 % 60), 2);
  out += ':';
  appendDigits(out, static_cast<std::uint64_t>(msOfDay / 1000 % 60), 2);
  out += '.';
  appendDigits(out, static_cast<std::uint64_t>(msOfDay % 1000), 3);
  out += offsetMinutes < 0 ? '-' : '+';
  const std::int32_t magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  appendDigits(out, static_cast<std::uint64_t>(magnitude / 60), 2);
  out += ':';
  appendDigits(out, static_cast<std::uint64_t>(magnitude % 60), 2);
  return out;
}

}  // namespace sondrel
