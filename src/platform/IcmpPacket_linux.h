#pragma once
// ICMP echo packets: building requests, reading replies and errors, and the
// status codes errors map to. No sockets here, so every path can be tested
// with packets made by hand.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace sondrel::icmp {

inline constexpr std::size_t kHeaderSize = 8;
// The most an IPv4 datagram of 65,535 bytes can carry after the IP and ICMP headers.
inline constexpr std::size_t kMaxPayload = 65535 - 20 - kHeaderSize;

inline constexpr std::uint8_t kEchoReply = 0;
inline constexpr std::uint8_t kDestUnreachable = 3;
inline constexpr std::uint8_t kSourceQuench = 4;
inline constexpr std::uint8_t kEchoRequest = 8;
inline constexpr std::uint8_t kTimeExceeded = 11;
inline constexpr std::uint8_t kParameterProblem = 12;

inline constexpr std::int32_t kSuccess = 0;
inline constexpr std::int32_t kBufTooSmall = 11001;
inline constexpr std::int32_t kNoResources = 11006;
inline constexpr std::int32_t kTimedOut = 11010;
inline constexpr std::int32_t kGeneralFailure = 11050;

// RFC 1071 one's-complement sum, ready to store in network order.
std::uint16_t Checksum(const std::uint8_t* data, std::size_t size);

// An echo request: header (identifier and sequence given in host order are
// stored in network order) and the payload; the checksum filled in.
void BuildEchoRequest(std::vector<std::uint8_t>& out, std::uint16_t identifier,
                      std::uint16_t sequence, std::string_view payload);

// Status of an ICMP error message; 11050 for a type that is not an error.
std::int32_t StatusOfIcmpError(std::uint8_t type, std::uint8_t code);
// Status of a failed send or a locally reported error.
std::int32_t StatusOfErrno(int error);

// What one received packet says about one echo.
struct Received {
  bool ours = false;  // an echo reply or error naming our identifier
  bool error = false;
  std::uint16_t sequence = 0;       // host order
  std::int32_t status = kGeneralFailure;
  std::uint32_t from = 0;           // network order: replier, or the sender of the error
  std::uint32_t echoedTo = 0;       // network order: where the echo went, 0 when not known
  std::uint8_t ttl = 0;
  const std::uint8_t* data = nullptr;  // echoed payload (replies only)
  std::size_t size = 0;
};

// A packet from a raw socket: IP header first. Our own outgoing requests,
// seen on loopback, are not ours in this sense.
Received ParseRawPacket(const std::uint8_t* packet, std::size_t size, std::uint16_t identifier);

// A packet from a datagram ICMP socket: ICMP header first, TTL from the
// control message, source from the socket address.
Received ParseDatagramReply(const std::uint8_t* packet, std::size_t size, std::uint16_t identifier,
                            std::uint32_t from, std::uint8_t ttl);

// An entry of a datagram socket's error queue: `original` is our request's
// ICMP header as the error quoted it.
Received ParseDatagramError(const std::uint8_t* original, std::size_t size,
                            std::uint16_t identifier, std::uint32_t offender,
                            std::uint32_t echoedTo, std::int32_t status);

}  // namespace sondrel::icmp
