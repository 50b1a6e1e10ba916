#include "core/common/InetAddr.h"

#include <bit>
#include <cstddef>

namespace sondrel {
namespace {

int DigitValue(char c, unsigned base) {
  int d = 99;
  if (c >= '0' && c <= '9') d = c - '0';
  else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
  else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
  return d < static_cast<int>(base) ? d : -1;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::uint32_t InetAddr(std::string_view text) {
  // The text ends at a NUL, as a C string would.
  text = text.substr(0, text.find('\0'));
  auto at = [&](std::size_t k) { return k < text.size() ? text[k] : '\0'; };
  std::uint32_t parts[3] = {};
  int count = 0;
  std::uint64_t value = 0;
  std::size_t i = 0;
  for (;;) {
    if (DigitValue(at(i), 10) < 0) return kInetAddrNone;
    unsigned base = 10;
    if (at(i) == '0') {
      base = 8;
      // "0x" counts as hex only with a hex digit after it.
      if ((at(i + 1) == 'x' || at(i + 1) == 'X') && DigitValue(at(i + 2), 16) >= 0) {
        base = 16;
        i += 2;
      }
    }
    value = 0;
    for (int d; (d = DigitValue(at(i), base)) >= 0; ++i) {
      value = value * base + static_cast<unsigned>(d);
      if (value > 0xFFFFFFFFu) return kInetAddrNone;
    }
    if (at(i) != '.') break;
    if (count > 2 || value > 0xFF) return kInetAddrNone;
    parts[count++] = static_cast<std::uint32_t>(value);
    ++i;
  }
  if (at(i) != '\0' && !IsSpace(at(i))) return kInetAddrNone;
  static constexpr std::uint64_t kLastMax[] = {0xFFFFFFFFu, 0xFFFFFFu, 0xFFFFu, 0xFFu};
  if (value > kLastMax[count]) return kInetAddrNone;
  std::uint32_t host = static_cast<std::uint32_t>(value);
  for (int k = 0; k < count; ++k) host |= parts[k] << (24 - 8 * k);
  if constexpr (std::endian::native == std::endian::big) return host;
  return (host >> 24) | ((host >> 8) & 0xFF00u) | ((host << 8) & 0xFF0000u) | (host << 24);
}

}  // namespace sondrel
