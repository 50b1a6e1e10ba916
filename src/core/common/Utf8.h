#pragma once
// Reading bytes as UTF-8, by Unicode's table of well-formed sequences (no
// overlong forms, no surrogates, nothing past U+10FFFF).

#include <cstddef>
#include <string_view>

namespace sondrel {

inline constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

// The piece of `bytes` at `at` (< bytes.size()): a well-formed sequence (an
// ASCII byte is one), or else the longest start of one there that the bytes
// after it do not complete (at least one byte), which Unicode recommends to
// replace by one U+FFFD.
struct Utf8Piece {
  std::size_t length = 1;
  bool wellFormed = true;
};
Utf8Piece Utf8PieceAt(std::string_view bytes, std::size_t at);

}  // namespace sondrel
