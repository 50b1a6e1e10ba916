#pragma once
// Where a metrics endpoint listens: a numeric address and a port, as the
// user writes them ("127.0.0.1:9374", "[::1]:9374"). Names are refused:
// looking one up could ask a name server, and a name may stand for several
// addresses.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/common/Result.h"

namespace sondrel {

inline constexpr std::uint16_t kDefaultMetricsPort = 9374;
inline constexpr std::string_view kDefaultMetricsListen = "127.0.0.1:9374";

struct ListenAddress {
  std::string address;  // dotted IPv4 or IPv6 text, without brackets
  std::uint16_t port = kDefaultMetricsPort;
};

// "ADDRESS:PORT" with a dotted IPv4 address, "[IPV6]:PORT", or either address
// alone (the default port). Port 0 asks for any free port. A clear error for
// anything else.
Result<ListenAddress> ParseListenAddress(std::string_view text);

// Whether only this machine reaches `address`: 127.0.0.0/8, ::1 and
// ::ffff:127.0.0.0/104. False for what is no address.
bool IsLoopbackAddress(std::string_view address);

// "127.0.0.1:9374", "[::1]:9374".
std::string ListenAddressText(const ListenAddress& where);

}  // namespace sondrel
