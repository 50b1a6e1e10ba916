#include "core/common/Utf8.h"

namespace sondrel {
namespace {

// The bytes a sequence led by `lead` takes in all, and the range its second
// byte must be in; 0 for a byte that cannot lead one.
struct Lead {
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;
};
Lead leadOf(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return {2};
  if (lead == 0xE0) return {3, 0xA0, 0xBF};  // no overlong forms
  if (lead == 0xED) return {3, 0x80, 0x9F};  // no surrogates
  if (lead >= 0xE1 && lead <= 0xEF) return {3};
  if (lead == 0xF0) return {4, 0x90, 0xBF};
  if (lead >= 0xF1 && lead <= 0xF3) return {4};
  if (lead == 0xF4) return {4, 0x80, 0x8F};  // nothing past U+10FFFF
  return {};
}

}  // namespace

Utf8Piece Utf8PieceAt(std::string_view bytes, std::size_t at) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  if (byte(at) < 0x80) return {1, true};
  const Lead lead = leadOf(byte(at));
  std::size_t end = at + 1;
  if (lead.length > 0 && end < bytes.size() && byte(end) >= lead.low && byte(end) <= lead.high) {
    ++end;
    while (end < at + lead.length && end < bytes.size() && (byte(end) & 0xC0) == 0x80) ++end;
  }
  return {end - at, lead.length > 0 && end == at + lead.length};
}

}  // namespace sondrel
