// `ip -4 neigh show` output of any text: every MAC taken is in its one
// normal form, the lookup of one address agrees with the whole table, and a
// MAC written from its bytes normalises to itself.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/scan/NeighbourTable.h"

using namespace sondrel;

namespace {
bool normalForm(const std::string& mac) {
  if (mac.size() != 17) return false;
  bool nonZero = false;
  for (std::size_t i = 0; i < mac.size(); ++i) {
    const char c = mac[i];
    if (i % 3 == 2) {
      if (c != '-') return false;
    } else if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) {
      nonZero = nonZero || c != '0';
    } else {
      return false;
    }
  }
  return nonZero;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view output(reinterpret_cast<const char*>(data), size);
  for (const auto& [address, mac] : ParseNeighbourTable(output)) {
    if (address.empty() || !normalForm(mac)) std::abort();
    if (NormalizeMac(mac) != mac) std::abort();
    if (ArpMacFor(output, address) != mac) std::abort();
  }

  const std::string once = NormalizeMac(output);
  if (!once.empty() && (!normalForm(once) || NormalizeMac(once) != once)) std::abort();

  if (size >= 6) {
    const std::string mac = FormatMac(data);
    const bool zero = mac == "00-00-00-00-00-00";
    if (NormalizeMac(mac) != (zero ? std::string() : mac)) std::abort();
    // The same bytes as a table line, in ip's own lower-case form.
    std::string lower = mac;
    for (char& c : lower) c = c == '-' ? ':' : static_cast<char>(std::tolower(c));
    const std::string line = "127.0.0.2 dev lo lladdr " + lower + " REACHABLE";
    if (ArpMacFor(line, "127.0.0.2") != (zero ? std::string() : mac)) std::abort();
  }
  return 0;
}
