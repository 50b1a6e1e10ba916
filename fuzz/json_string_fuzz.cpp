// A JSON string of any bytes: quoted, valid UTF-8, no raw control byte, only
// the escapes the writer uses; what it reads back as writes the same again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/common/JsonLine.h"
#include "core/iplist/IPListFile.h"

using namespace sondrel;

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The string's text once read as JSON (only \", \\ and \u00XX occur).
std::string readBack(std::string_view quoted) {
  std::string text;
  for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
    const char c = quoted[i];
    if (c == '"') std::abort();  // a quote that ends the string early
    if (c != '\\') {
      text += c;
      continue;
    }
    if (i + 2 >= quoted.size()) std::abort();
    const char next = quoted[++i];
    if (next == '"' || next == '\\') {
      text += next;
      continue;
    }
    if (next != 'u' || i + 5 >= quoted.size() || quoted.substr(i + 1, 2) != "00") std::abort();
    const int high = hexValue(quoted[i + 3]), low = hexValue(quoted[i + 4]);
    if (high < 0 || low < 0) std::abort();
    const unsigned code = static_cast<unsigned>(high * 16 + low);
    if (code < 0x80) {
      text += static_cast<char>(code);
    } else {
      text += static_cast<char>(0xC0 | (code >> 6));
      text += static_cast<char>(0x80 | (code & 0x3F));
    }
    i += 4;
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string quoted;
  AppendJsonString(quoted, bytes);
  if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') std::abort();
  if (!IsUtf8(quoted)) std::abort();
  for (const char c : quoted)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) std::abort();
  const std::string text = readBack(quoted);
  // Valid UTF-8 comes back whole; and the text read writes the same string.
  if (IsUtf8(bytes) && text != bytes) std::abort();
  std::string again;
  AppendJsonString(again, text);
  if (again != quoted) std::abort();
  return 0;
}
