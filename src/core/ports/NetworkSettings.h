#pragma once
// The machine's own network settings: adapters, default gateway, name servers.

#include <memory>
#include <string>
#include <vector>

namespace sondrel {

struct Adapter {
  std::string name;     // interface name, e.g. "eth0"
  std::string address;  // dotted IPv4, "" when it has none
  std::string netmask;  // dotted IPv4
  std::string mac;      // "AA-BB-CC-DD-EE-FF", "" when unknown
  std::string gateway;  // dotted IPv4 of the default route through it, "" when none
};

class INetworkSettings {
 public:
  virtual ~INetworkSettings() = default;
  // Non-loopback IPv4 adapters in the system's order.
  virtual std::vector<Adapter> adapters() = 0;
  // Name servers in order (upstream ones when a local stub resolver is configured).
  virtual std::vector<std::string> nameServers() = 0;
};

}  // namespace sondrel
