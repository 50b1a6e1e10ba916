// The machine's network settings from the kernel's and resolver's own files.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "core/common/AddressHelpers.h"
#include "core/scan/NeighbourTable.h"
#include "platform/NetworkSettings_linux.h"
#include "platform/NetworkSettingsFiles.h"

namespace sondrel {
namespace {

std::string dotted(const sockaddr* sa) {
  if (!sa || sa->sa_family != AF_INET) return {};
  char buf[INET_ADDRSTRLEN];
  auto* in = reinterpret_cast<const sockaddr_in*>(sa);
  return inet_ntop(AF_INET, &in->sin_addr, buf, sizeof buf) ? buf : "";
}

bool parseHex(std::string_view text, unsigned long& out) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out, 16);
  return ec == std::errc() && end == text.data() + text.size();
}

// The link address getifaddrs reports for an interface, as sysfs writes it.
std::string linkAddress(const sockaddr* sa) {
  if (!sa || sa->sa_family != AF_PACKET) return {};
  auto* ll = reinterpret_cast<const sockaddr_ll*>(sa);
  if (ll->sll_halen != 6) return {};
  char buf[18];
  std::snprintf(buf, sizeof buf, "%02x:%02x:%02x:%02x:%02x:%02x", ll->sll_addr[0], ll->sll_addr[1],
                ll->sll_addr[2], ll->sll_addr[3], ll->sll_addr[4], ll->sll_addr[5]);
  return buf;
}

bool isLoopback(const std::string& address) { return address.rfind("127.", 0) == 0; }

std::vector<std::string> nameServersIn(const char* path) {
  std::ifstream in(path);
  return ResolvConfNameServers(in);
}

class SystemNetworkSettingsImpl final : public INetworkSettings {
 public:
  std::vector<Adapter> adapters() override {
    std::vector<Adapter> out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return out;
    std::map<std::string, std::string> gateways;
    {
      std::ifstream route("/proc/net/route");
      for (auto& [iface, gateway] : DefaultRoutes(route)) gateways.emplace(iface, gateway);
    }
    std::map<std::string, std::string> links;
    for (ifaddrs* it = list; it; it = it->ifa_next)
      if (auto mac = linkAddress(it->ifa_addr); !mac.empty()) links.emplace(it->ifa_name, mac);
    for (ifaddrs* it = list; it; it = it->ifa_next) {
      if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET) continue;
      // A down interface may still hold a stale address; it is not the machine's.
      if ((it->ifa_flags & IFF_LOOPBACK) || !(it->ifa_flags & IFF_UP)) continue;
      Adapter a;
      a.name = it->ifa_name;
      a.address = dotted(it->ifa_addr);
      a.netmask = dotted(it->ifa_netmask);
      // The link address getifaddrs gives belongs to this network namespace;
      // sysfs shows the one it was mounted in, so it only stands in.
      std::string mac;
      if (auto l = links.find(a.name); l != links.end()) {
        mac = l->second;
      } else {
        std::ifstream macFile("/sys/class/net/" + a.name + "/address");
        macFile >> mac;
      }
      a.mac = FormatMac(mac);
      if (auto g = gateways.find(a.name); g != gateways.end()) a.gateway = g->second;
      out.push_back(std::move(a));
    }
    freeifaddrs(list);
    return out;
  }

  std::vector<std::string> nameServers() override {
    return ChooseNameServers(nameServersIn("/etc/resolv.conf"),
                             nameServersIn("/run/systemd/resolve/resolv.conf"));
  }
};

}  // namespace

std::vector<std::pair<std::string, std::string>> DefaultRoutes(std::istream& routeTable) {
  std::vector<std::pair<std::string, std::string>> routes;
  std::string line;
  std::getline(routeTable, line);  // header
  while (std::getline(routeTable, line)) {
    std::istringstream fields(line);
    std::string iface, destination, gateway, flagText;
    if (!(fields >> iface >> destination >> gateway >> flagText)) continue;
    unsigned long dest = 0, gw = 0, flags = 0;
    if (!parseHex(destination, dest) || !parseHex(gateway, gw) || !parseHex(flagText, flags))
      continue;
    constexpr unsigned long kUp = 0x1, kGateway = 0x2;
    if (dest != 0 || (flags & (kUp | kGateway)) != (kUp | kGateway) || gw > 0xFFFFFFFFul) continue;
    // The kernel writes the address in network byte order as one host-order word.
    in_addr addr{};
    addr.s_addr = static_cast<in_addr_t>(gw);
    char buf[INET_ADDRSTRLEN];
    if (inet_ntop(AF_INET, &addr, buf, sizeof buf)) routes.emplace_back(iface, buf);
  }
  return routes;
}

std::vector<std::string> ResolvConfNameServers(std::istream& resolvConf) {
  std::vector<std::string> servers;
  std::string line;
  while (std::getline(resolvConf, line)) {
    std::istringstream fields(line);
    std::string key, value;
    if (!(fields >> key >> value) || key != "nameserver") continue;
    // inet_pton reads only up to a NUL; what follows it is no address.
    if (value.find('\0') != std::string::npos) continue;
    in_addr probe{};
    if (inet_pton(AF_INET, value.c_str(), &probe) == 1) servers.push_back(value);
  }
  return servers;
}

std::vector<std::string> ChooseNameServers(const std::vector<std::string>& configured,
                                           const std::vector<std::string>& upstream) {
  const bool onlyStub =
      !configured.empty() && std::all_of(configured.begin(), configured.end(), isLoopback);
  return onlyStub && !upstream.empty() ? upstream : configured;
}

std::string FormatMac(std::string_view sysfsAddress) {
  return NormalizeMac(TrimBlanks(sysfsAddress));
}

std::shared_ptr<INetworkSettings> SystemNetworkSettings() {
  static auto settings = std::make_shared<SystemNetworkSettingsImpl>();
  return settings;
}

}  // namespace sondrel
