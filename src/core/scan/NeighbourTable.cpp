#include "core/scan/NeighbourTable.h"

#include <cctype>
#include <vector>

namespace sondrel {
namespace {

std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    const size_t start = i;
    while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

// The MAC of one table line when its address is `address` (any address when
// empty); writes the line's address to `lineAddress`.
std::string macOfLine(std::string_view line, std::string_view address, std::string* lineAddress) {
  const auto w = words(line);
  if (w.size() < 2) return {};
  if (!address.empty() && w[0] != address) return {};
  // An entry that failed keeps an old link address at most; the host did
  // not answer for it, so it is not taken.
  for (std::string_view state : {"FAILED", "INCOMPLETE"})
    if (w.back() == state) return {};
  for (size_t i = 1; i + 1 < w.size(); ++i) {
    if (w[i] != "lladdr") continue;
    std::string mac = NormalizeMac(w[i + 1]);
    if (!mac.empty() && lineAddress) *lineAddress = std::string(w[0]);
    return mac;
  }
  return {};
}

template <typename Each>
void forEachLine(std::string_view text, Each each) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    each(text.substr(start, end - start));
    start = end + 1;
  }
}

}  // namespace

std::string FormatMac(const std::uint8_t* bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string mac;
  for (int i = 0; i < 6; ++i) {
    if (i) mac += '-';
    mac += kHex[bytes[i] >> 4];
    mac += kHex[bytes[i] & 0xF];
  }
  return mac;
}

std::string NormalizeMac(std::string_view text) {
  if (text.size() != 17) return {};
  std::string mac(text);
  bool allZero = true;
  for (size_t i = 0; i < mac.size(); ++i) {
    char& c = mac[i];
    if (i % 3 == 2) {
      if (c != ':' && c != '-') return {};
      c = '-';
      continue;
    }
    if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
    if (c != '0') allZero = false;
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return allZero ? std::string() : mac;
}

std::map<std::string, std::string> ParseNeighbourTable(std::string_view output) {
  std::map<std::string, std::string> table;
  forEachLine(output, [&](std::string_view line) {
    std::string address;
    std::string mac = macOfLine(line, {}, &address);
    if (!mac.empty()) table.emplace(std::move(address), std::move(mac));
  });
  return table;
}

std::string ArpMacFor(std::string_view output, std::string_view address) {
  if (address.empty()) return {};
  std::string found;
  forEachLine(output, [&](std::string_view line) {
    if (found.empty()) found = macOfLine(line, address, nullptr);
  });
  return found;
}

}  // namespace sondrel
