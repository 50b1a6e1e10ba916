#include "platform/IcmpPacket_linux.h"

#include <cerrno>
#include <cstring>

namespace sondrel::icmp {
namespace {

std::uint16_t read16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

std::uint32_t readAddress(const std::uint8_t* p) {
  std::uint32_t a;
  std::memcpy(&a, p, 4);  // stays in network order
  return a;
}

// Header length of the IPv4 packet at p, 0 when it is not one.
std::size_t ipHeaderSize(const std::uint8_t* p, std::size_t size) {
  if (size < 20 || (p[0] >> 4) != 4) return 0;
  const std::size_t ihl = static_cast<std::size_t>(p[0] & 0x0f) * 4;
  return ihl >= 20 && ihl <= size ? ihl : 0;
}

constexpr std::uint8_t kProtocolIcmp = 1;

}  // namespace

std::uint16_t Checksum(const std::uint8_t* data, std::size_t size) {
  std::uint64_t sum = 0;
  std::size_t i = 0;
  for (; i + 1 < size; i += 2) sum += read16(data + i);
  if (i < size) sum += static_cast<std::uint32_t>(data[i]) << 8;
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

void BuildEchoRequest(std::vector<std::uint8_t>& out, std::uint16_t identifier,
                      std::uint16_t sequence, std::string_view payload) {
  out.resize(kHeaderSize + payload.size());
  out[0] = kEchoRequest;
  out[1] = 0;
  out[2] = out[3] = 0;
  out[4] = static_cast<std::uint8_t>(identifier >> 8);
  out[5] = static_cast<std::uint8_t>(identifier);
  out[6] = static_cast<std::uint8_t>(sequence >> 8);
  out[7] = static_cast<std::uint8_t>(sequence);
  if (!payload.empty()) std::memcpy(out.data() + kHeaderSize, payload.data(), payload.size());
  const std::uint16_t sum = Checksum(out.data(), out.size());
  out[2] = static_cast<std::uint8_t>(sum >> 8);
  out[3] = static_cast<std::uint8_t>(sum);
}

std::int32_t StatusOfIcmpError(std::uint8_t type, std::uint8_t code) {
  switch (type) {
    case kDestUnreachable:
      switch (code) {
        case 0: case 6: case 9: case 11: return 11002;  // net (unreachable, unknown, prohibited, for TOS)
        case 2: return 11004;                            // protocol
        case 3: return 11005;                            // port
        case 4: return 11009;                            // fragmentation needed
        case 5: return 11012;                            // source route failed
        case 13: case 14: case 15: return 11004;         // administratively prohibited
        default: return 11003;                           // host, and every other reason
      }
    case kTimeExceeded:
      return code == 1 ? 11014 : 11013;
    case kParameterProblem:
      return 11015;
    case kSourceQuench:
      return 11016;
    default:
      return kGeneralFailure;
  }
}

std::int32_t StatusOfErrno(int error) {
  switch (error) {
    case ENETUNREACH: return 11002;
    case EHOSTUNREACH: return 11003;
    case ECONNREFUSED: return 11005;
    case EMSGSIZE: return 11009;
    case ENOBUFS: case ENOMEM: case EAGAIN: return kNoResources;
    case ETIMEDOUT: return kTimedOut;
    default: return kGeneralFailure;
  }
}

Received ParseRawPacket(const std::uint8_t* packet, std::size_t size, std::uint16_t identifier) {
  Received r;
  const std::size_t ihl = ipHeaderSize(packet, size);
  if (ihl == 0 || packet[9] != kProtocolIcmp || size < ihl + kHeaderSize) return r;
  const std::uint8_t* icmp = packet + ihl;
  const std::size_t icmpSize = size - ihl;
  // A raw socket sees packets before the kernel checks their ICMP checksum
  // (a datagram socket never does): a damaged or forged one is no answer.
  if (Checksum(icmp, icmpSize) != 0) return r;
  r.from = readAddress(packet + 12);
  r.ttl = packet[8];
  const std::uint8_t type = icmp[0];
  if (type == kEchoReply) {
    if (read16(icmp + 4) != identifier) return r;
    r.ours = true;
    r.status = kSuccess;
    r.sequence = read16(icmp + 6);
    r.data = icmp + kHeaderSize;
    r.size = icmpSize - kHeaderSize;
    return r;
  }
  if (type != kDestUnreachable && type != kTimeExceeded && type != kParameterProblem &&
      type != kSourceQuench) {
    return r;  // requests (ours on loopback included), redirects, everything else
  }
  // The error quotes the IP header of our request and its first 8 bytes.
  const std::uint8_t* inner = icmp + kHeaderSize;
  const std::size_t innerSize = icmpSize - kHeaderSize;
  const std::size_t innerIhl = ipHeaderSize(inner, innerSize);
  if (innerIhl == 0 || inner[9] != kProtocolIcmp || innerSize < innerIhl + kHeaderSize) return r;
  const std::uint8_t* quoted = inner + innerIhl;
  if (quoted[0] != kEchoRequest || read16(quoted + 4) != identifier) return r;
  r.ours = true;
  r.error = true;
  r.status = StatusOfIcmpError(type, icmp[1]);
  r.sequence = read16(quoted + 6);
  r.echoedTo = readAddress(inner + 16);
  r.ttl = 0;
  return r;
}

Received ParseDatagramReply(const std::uint8_t* packet, std::size_t size, std::uint16_t identifier,
                            std::uint32_t from, std::uint8_t ttl) {
  Received r;
  if (size < kHeaderSize || packet[0] != kEchoReply || read16(packet + 4) != identifier) return r;
  r.ours = true;
  r.status = kSuccess;
  r.sequence = read16(packet + 6);
  r.from = from;
  r.ttl = ttl;
  r.data = packet + kHeaderSize;
  r.size = size - kHeaderSize;
  return r;
}

Received ParseDatagramError(const std::uint8_t* original, std::size_t size,
                            std::uint16_t identifier, std::uint32_t offender,
                            std::uint32_t echoedTo, std::int32_t status) {
  Received r;
  if (size < kHeaderSize || original[0] != kEchoRequest || read16(original + 4) != identifier) {
    return r;
  }
  r.ours = true;
  r.error = true;
  r.status = status;
  r.sequence = read16(original + 6);
  r.from = offender;
  r.echoedTo = echoedTo;
  return r;
}

}  // namespace sondrel::icmp
