#pragma once
// Reading the kernel's neighbour table as `ip -4 neigh show` prints it, one
// entry per line: "ADDR dev IF lladdr MAC [router] STATE". Entries still
// being resolved or given up on carry no link address and give no MAC.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace sondrel {

// Six bytes as "00-1A-2B-3C-4D-5E".
std::string FormatMac(const std::uint8_t* bytes);
inline std::string FormatMac(const std::array<std::uint8_t, 6>& bytes) {
  return FormatMac(bytes.data());
}

// A link-layer address text ("aa:bb:cc:dd:ee:ff", "-" also accepted) as
// "AA-BB-CC-DD-EE-FF"; "" unless it is six hex pairs, or when all zero.
std::string NormalizeMac(std::string_view text);

// Address -> MAC of every usable entry; the first one wins when an address
// is known on several interfaces.
std::map<std::string, std::string> ParseNeighbourTable(std::string_view output);

// The MAC the table output gives for exactly `address`, or "".
std::string ArpMacFor(std::string_view output, std::string_view address);

}  // namespace sondrel
