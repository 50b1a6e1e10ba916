// NetBIOS node-status replies of any bytes, with the transaction id the
// reply carries and with another one. A reply written here with a known MAC
// (after the names the input gives) reads back as that MAC.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "core/scan/ScanWire.h"

using namespace sondrel;

namespace {

// A positive node-status reply to `id`: the wildcard name as the question
// had it, `names` entries of 18 bytes, then the unit id.
std::vector<std::uint8_t> Reply(std::uint16_t id, const std::vector<std::uint8_t>& nameBytes,
                                const std::array<std::uint8_t, 6>& mac) {
  std::vector<std::uint8_t> packet = NodeStatusRequest(id);
  packet[2] = 0x84;  // a response, authoritative
  packet[5] = 0x00;  // no question
  packet[7] = 0x01;  // one answer
  packet.insert(packet.end(), {0x00, 0x00, 0x00, 0x00});  // TTL
  const std::size_t names = nameBytes.size() / 18;
  const std::size_t length = 1 + names * 18 + 6;
  packet.push_back(static_cast<std::uint8_t>(length >> 8));
  packet.push_back(static_cast<std::uint8_t>(length));
  packet.push_back(static_cast<std::uint8_t>(names));
  packet.insert(packet.end(), nameBytes.begin(),
                nameBytes.begin() + static_cast<std::ptrdiff_t>(names * 18));
  packet.insert(packet.end(), mac.begin(), mac.end());
  return packet;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::uint16_t own = size >= 2 ? static_cast<std::uint16_t>((data[0] << 8) | data[1]) : 0;
  // Copied, so any read past the end is one past this vector's bytes.
  const std::vector<std::uint8_t> bytes(data, data + size);
  const auto mac = ParseNodeStatusResponse(bytes.data(), bytes.size(), own);
  if (mac) {
    bool any = false;
    for (std::uint8_t b : *mac) any = any || b != 0;
    if (!any) std::abort();
  }
  if (ParseNodeStatusResponse(bytes.data(), bytes.size(), static_cast<std::uint16_t>(own + 1)))
    std::abort();

  if (size >= 8) {
    std::array<std::uint8_t, 6> unit{};
    bool any = false;
    for (std::size_t k = 0; k < 6; ++k) {
      unit[k] = data[2 + k];
      any = any || unit[k] != 0;
    }
    const std::vector<std::uint8_t> names(data + 8, data + std::min<std::size_t>(size, 8 + 18 * 255));
    const auto reply = Reply(own, names, unit);
    const auto back = ParseNodeStatusResponse(reply.data(), reply.size(), own);
    if (any != back.has_value() || (back && *back != unit)) std::abort();
    if (back && FormatMac(*back).size() != 17) std::abort();
  }
  return 0;
}
