// What a datagram ICMP socket hands over: a reply (ICMP header first) or an
// error queue entry quoting our request's header. The first bytes choose the
// form and the identifier.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/IcmpPacket_linux.h"

using namespace sondrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::uint16_t id = static_cast<std::uint16_t>(data[1] << 8 | data[2]);
  const std::uint8_t* packet = data + 3;
  const std::size_t n = size - 3;
  if (data[0] & 1) {
    const icmp::Received r = icmp::ParseDatagramError(packet, n, id, 0x0100007f, 0x0200007f,
                                                      icmp::StatusOfIcmpError(data[0] >> 1, data[0]));
    if (r.data) std::abort();
  } else {
    const icmp::Received r = icmp::ParseDatagramReply(packet, n, id, 0x0100007f, data[0]);
    if (r.data && (r.data < packet || r.data + r.size > packet + n)) std::abort();
  }
  return 0;
}
