#pragma once
// One ICMP echo, status texts, and name resolution: the lowest layer of the
// ping engine. The carrier and resolver are passed in, so this is plain C++.

#include <cstdint>
#include <string>

#include "core/ports/IcmpCarrier.h"
#include "core/ports/Resolver.h"

namespace sondrel::PingMoudle {

// Largest payload the reply room holds.
inline constexpr std::size_t kReplyRoom = 32000;

// The reply record of one echo.
struct ICMP_ECHO_REPLY {
  std::uint32_t Address = 0;        // replying address, network byte order
  std::int32_t Status = 0;
  std::uint32_t RoundTripTime = 0;  // whole milliseconds
  std::uint32_t RoundTripUs = 0;    // microseconds, as the carrier measured it
  std::uint32_t DataSize = 0;
  std::uint8_t Ttl = 0;
  std::string Data;                 // the echoed bytes
};

// The checks made before an echo is sent: -1 for an address inet_addr
// refuses, 11001 for data over kReplyRoom, else 0 with the address (network
// byte order) in `target`. Nothing is sent for a refused echo.
std::int32_t checkEcho(const std::string& address, std::size_t dataSize, std::uint32_t& target);

// Sends one echo carrying `data` to the dotted `address` and fills `echo`.
// -1 for an address inet_addr refuses (nothing is sent); 11001 for data over
// kReplyRoom (nothing is sent); 11050 when no ICMP socket can be opened;
// otherwise the reply's status. Blocks at most timeoutMs. Any thread.
std::int32_t Ping(IIcmpCarrier& carrier, const std::string& address, const std::string& data,
                  std::uint32_t timeoutMs, ICMP_ECHO_REPLY& echo);

// The message text of a status code.
std::string GetStatusCode(std::int32_t status);

// First IPv4 address of the name, dotted; "" when it cannot be resolved.
std::string GetIPFromHostName(IResolver& resolver, const std::string& name);

// Nothing to start on this system; kept so that callers read as they always did.
bool SocketsInitialize();
bool SocketsCleanup();

int LoByte(std::uint16_t word);
int HiByte(std::uint16_t word);

}  // namespace sondrel::PingMoudle
