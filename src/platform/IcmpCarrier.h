#pragma once
// ICMP echo transport. One carrier serves the whole process; it is safe to
// call from any thread and keeps many echoes outstanding on one socket.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sondrel {

struct EchoRequest {
  std::uint32_t address = 0;  // IPv4, network byte order
  std::string data;           // payload bytes, sent as they are
  std::uint32_t timeoutMs = 500;
};

struct EchoReply {
  std::int32_t status = 11050;       // 0 success, else an 11001..11255 code
  std::uint32_t replyAddress = 0;    // network byte order; the sender of the reply or error
  std::uint32_t roundTripUs = 0;     // microseconds, monotonic clock
  std::uint32_t roundTripMs = 0;     // whole milliseconds (roundTripUs / 1000)
  std::uint8_t ttl = 0;              // TTL of the reply's IP header
  std::uint32_t dataSize = 0;        // bytes echoed back
  std::string data;                  // the echoed bytes
};

class IIcmpCarrier {
 public:
  virtual ~IIcmpCarrier() = default;
  // Sends every request at once and returns when each has its reply, its
  // error or its time-out; replies in request order. Never blocks longer than
  // the largest time-out (plus scheduling slack).
  virtual std::vector<EchoReply> echoMany(const std::vector<EchoRequest>& requests) = 0;
  EchoReply echo(const EchoRequest& request) { return echoMany({request}).front(); }
  // False with a plain explanation when no ICMP socket can be opened.
  virtual bool available(std::string* why) = 0;
};

// The process-wide carrier: datagram ICMP socket where allowed, raw otherwise.
std::shared_ptr<IIcmpCarrier> SystemIcmpCarrier();

}  // namespace sondrel
