// A packet from the raw socket, IP header first: replies and errors quoting
// our request. The identifier comes from the first two bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/IcmpPacket_linux.h"

using namespace sondrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint16_t id = static_cast<std::uint16_t>(data[0] << 8 | data[1]);
  const icmp::Received r = icmp::ParseRawPacket(data + 2, size - 2, id);
  // A payload handed back must lie inside the packet.
  if (r.data && (r.data < data + 2 || r.data + r.size > data + size)) std::abort();
  if (!r.ours && r.data) std::abort();
  return 0;
}
