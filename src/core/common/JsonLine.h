#pragma once
// One JSON object written as one line, key by key, for programs that read
// the command line's output. Strings are taken as bytes: valid UTF-8 passes,
// anything else is replaced, so that a hostile host name or label still makes
// a valid line. Numbers never depend on the locale.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sondrel {

// Appends `bytes` as a JSON string, quotes included. '"' and '\' are
// escaped, and so are the control characters (C0, DEL and C1) as \u00XX;
// valid UTF-8 is kept as it is, and each ill-formed piece of it (a stray
// byte, a cut sequence, an overlong form, a surrogate, a code point past
// U+10FFFF) becomes one U+FFFD, as Unicode recommends.
void AppendJsonString(std::string& out, std::string_view bytes);

class JsonLine {
 public:
  JsonLine& text(std::string_view key, std::string_view value);
  // Null when there is none.
  JsonLine& textOrNull(std::string_view key, const std::optional<std::string>& value);
  JsonLine& number(std::string_view key, std::int64_t value);
  JsonLine& number(std::string_view key, const std::optional<std::int64_t>& value);
  // `scaled` / 10^places with exactly `places` decimals (0 to 9):
  // decimal("rtt_ms", 12345, 3) writes 12.345, exactly.
  JsonLine& decimal(std::string_view key, std::int64_t scaled, int places);
  JsonLine& decimal(std::string_view key, const std::optional<std::int64_t>& scaled, int places);
  JsonLine& boolean(std::string_view key, bool value);
  JsonLine& null(std::string_view key);

  // The object: "{...}", without a line end.
  std::string str() const { return body_ + "}"; }

 private:
  void key(std::string_view key);
  std::string body_ = "{";
};

// A figure in fractions of a microsecond (a mean, a jitter) to the nearest
// whole one, for decimal(key, us, 3); none when there is none or it is not
// a finite number.
std::optional<std::int64_t> RoundedMicros(const std::optional<double>& us);

// A moment (microseconds since 1970 UTC) as RFC 3339 local time with
// milliseconds, `offsetSeconds` east of UTC: "2026-12-10T13:05:07.123+01:00"
// ("Z" is never used, so the offset is always there to read). The
// milliseconds are cut, not rounded, and an offset with seconds is taken to
// its whole minutes, the time with it, so the text is still that moment.
std::string Rfc3339Millis(std::int64_t utcUs, std::int32_t offsetSeconds);

}  // namespace sondrel
