#include "core/monitor/ListenAddress.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <optional>

namespace sondrel {
namespace {

using Bytes16 = std::array<std::uint8_t, 16>;

// Four decimal octets without leading zeros (which some read as octal).
std::optional<std::array<std::uint8_t, 4>> DottedQuad(std::string_view s) {
  std::array<std::uint8_t, 4> out{};
  for (int k = 0; k < 4; ++k) {
    std::size_t n = 0;
    while (n < s.size() && s[n] >= '0' && s[n] <= '9') ++n;
    if (n == 0 || n > 3 || (n > 1 && s[0] == '0')) return std::nullopt;
    unsigned value = 0;
    std::from_chars(s.data(), s.data() + n, value);
    if (value > 255) return std::nullopt;
    out[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(value);
    s.remove_prefix(n);
    if (k < 3) {
      if (s.empty() || s[0] != '.') return std::nullopt;
      s.remove_prefix(1);
    }
  }
  if (!s.empty()) return std::nullopt;
  return out;
}

// An IPv6 address in RFC 4291 text: eight groups of up to four hex digits,
// one "::" for a run of zero groups, a dotted IPv4 address for the last two.
std::optional<Bytes16> Ipv6(std::string_view s) {
  if (s.empty()) return std::nullopt;
  std::array<std::uint16_t, 8> groups{};
  int count = 0, gap = -1;
  if (s.substr(0, 2) == "::") {
    gap = 0;
    s.remove_prefix(2);
  } else if (s[0] == ':') {
    return std::nullopt;
  }
  while (!s.empty()) {
    if (count == 8) return std::nullopt;
    std::size_t n = 0;
    while (n < s.size() && n < 5 && std::isxdigit(static_cast<unsigned char>(s[n]))) ++n;
    if (n < s.size() && s[n] == '.') {  // the dotted tail
      if (count > 6) return std::nullopt;
      const auto quad = DottedQuad(s);
      if (!quad) return std::nullopt;
      groups[static_cast<std::size_t>(count++)] = static_cast<std::uint16_t>((*quad)[0] << 8 | (*quad)[1]);
      groups[static_cast<std::size_t>(count++)] = static_cast<std::uint16_t>((*quad)[2] << 8 | (*quad)[3]);
      s = {};
      break;
    }
    if (n == 0 || n > 4) return std::nullopt;
    unsigned value = 0;
    std::from_chars(s.data(), s.data() + n, value, 16);
    groups[static_cast<std::size_t>(count++)] = static_cast<std::uint16_t>(value);
    s.remove_prefix(n);
    if (s.empty()) break;
    if (s[0] != ':') return std::nullopt;
    s.remove_prefix(1);
    if (!s.empty() && s[0] == ':') {
      if (gap >= 0) return std::nullopt;
      gap = count;
      s.remove_prefix(1);
    } else if (s.empty()) {
      return std::nullopt;  // a lone ':' at the end
    }
  }
  if (gap < 0 ? count != 8 : count > 7) return std::nullopt;
  Bytes16 out{};
  std::array<std::uint16_t, 8> full{};
  if (gap < 0) {
    full = groups;
  } else {
    for (int k = 0; k < gap; ++k) full[static_cast<std::size_t>(k)] = groups[static_cast<std::size_t>(k)];
    const int tail = count - gap;
    for (int k = 0; k < tail; ++k)
      full[static_cast<std::size_t>(8 - tail + k)] = groups[static_cast<std::size_t>(gap + k)];
  }
  for (std::size_t k = 0; k < 8; ++k) {
    out[2 * k] = static_cast<std::uint8_t>(full[k] >> 8);
    out[2 * k + 1] = static_cast<std::uint8_t>(full[k] & 0xFF);
  }
  return out;
}

Error Refusal(std::string_view text, std::string_view why) {
  return Error{EINVAL, "not an address to listen on: '" + std::string(text) + "' (" + std::string(why) + ")"};
}

}  // namespace

Result<ListenAddress> ParseListenAddress(std::string_view text) {
  ListenAddress where;
  std::string_view host = text, port;
  bool bracketed = false;
  if (!text.empty() && text[0] == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return Refusal(text, "no ']' after the IPv6 address");
    host = text.substr(1, close - 1);
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest[0] != ':') return Refusal(text, "give the port after ']:'");
      port = rest.substr(1);
      if (port.empty()) return Refusal(text, "no port after ':'");
    }
    bracketed = true;
  } else {
    const std::size_t colon = text.find(':');
    if (colon != std::string_view::npos && text.find(':', colon + 1) != std::string_view::npos)
      return Refusal(text, "write an IPv6 address in brackets, as [::1]:9374");
    if (colon != std::string_view::npos) {
      host = text.substr(0, colon);
      port = text.substr(colon + 1);
      if (port.empty()) return Refusal(text, "no port after ':'");
    }
  }
  if (host.empty())
    return Refusal(text, "give the address too, as 127.0.0.1:9374, or 0.0.0.0:9374 for every interface");
  if (bracketed ? !Ipv6(host) : !DottedQuad(host))
    return Refusal(text, bracketed ? "not an IPv6 address" : "not a dotted IPv4 address; names are not looked up");
  where.address = std::string(host);
  if (!port.empty()) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (ec != std::errc() || end != port.data() + port.size() || value > 65535)
      return Refusal(text, "the port is a number from 0 to 65535");
    where.port = static_cast<std::uint16_t>(value);
  }
  return where;
}

bool IsLoopbackAddress(std::string_view address) {
  if (const auto quad = DottedQuad(address)) return (*quad)[0] == 127;
  const auto v6 = Ipv6(address);
  if (!v6) return false;
  const Bytes16& b = *v6;
  bool zeros10 = true;
  for (std::size_t k = 0; k < 10; ++k) zeros10 = zeros10 && b[k] == 0;
  if (!zeros10) return false;
  if (b[10] == 0xFF && b[11] == 0xFF) return b[12] == 127;  // an IPv4 loopback, mapped
  return b[10] == 0 && b[11] == 0 && b[12] == 0 && b[13] == 0 && b[14] == 0 && b[15] == 1;
}

std::string ListenAddressText(const ListenAddress& where) {
  const bool v6 = where.address.find(':') != std::string::npos;
  return (v6 ? "[" + where.address + "]" : where.address) + ":" + std::to_string(where.port);
}

}  // namespace sondrel
