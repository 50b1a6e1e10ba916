// The machine's network settings from the kernel's and resolver's own files.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/NetworkSettings.h"

namespace sondrel {
namespace {

std::string dotted(const sockaddr* sa) {
  if (!sa || sa->sa_family != AF_INET) return {};
  char buf[INET_ADDRSTRLEN];
  auto* in = reinterpret_cast<const sockaddr_in*>(sa);
  return inet_ntop(AF_INET, &in->sin_addr, buf, sizeof buf) ? buf : "";
}

std::string readMac(const std::string& interface) {
  std::ifstream in("/sys/class/net/" + interface + "/address");
  std::string mac;
  if (!(in >> mac) || mac == "00:00:00:00:00:00") return {};
  std::replace(mac.begin(), mac.end(), ':', '-');
  for (char& c : mac) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return mac;
}

// Default gateways by interface, from the kernel's routing table (first wins).
std::map<std::string, std::string> defaultGateways() {
  std::map<std::string, std::string> gateways;
  std::ifstream in("/proc/net/route");
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string iface, destination, gateway;
    unsigned flags = 0;
    if (!(fields >> iface >> destination >> gateway >> std::hex >> flags)) continue;
    constexpr unsigned kUp = 0x1, kGateway = 0x2;
    if (destination != "00000000" || (flags & (kUp | kGateway)) != (kUp | kGateway)) continue;
    in_addr addr{};
    addr.s_addr = static_cast<in_addr_t>(std::stoul(gateway, nullptr, 16));
    char buf[INET_ADDRSTRLEN];
    if (inet_ntop(AF_INET, &addr, buf, sizeof buf)) gateways.emplace(iface, buf);
  }
  return gateways;
}

std::vector<std::string> nameServersIn(const std::string& path) {
  std::vector<std::string> servers;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string key, value;
    if (!(fields >> key >> value) || key != "nameserver") continue;
    in_addr probe{};
    if (inet_pton(AF_INET, value.c_str(), &probe) == 1) servers.push_back(value);
  }
  return servers;
}

bool isLoopback(const std::string& address) { return address.rfind("127.", 0) == 0; }

class SystemNetworkSettingsImpl final : public INetworkSettings {
 public:
  std::vector<Adapter> adapters() override {
    std::vector<Adapter> out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return out;
    const auto gateways = defaultGateways();
    for (ifaddrs* it = list; it; it = it->ifa_next) {
      if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET) continue;
      if (it->ifa_flags & IFF_LOOPBACK) continue;
      Adapter a;
      a.name = it->ifa_name;
      a.address = dotted(it->ifa_addr);
      a.netmask = dotted(it->ifa_netmask);
      a.mac = readMac(a.name);
      if (auto g = gateways.find(a.name); g != gateways.end()) a.gateway = g->second;
      out.push_back(std::move(a));
    }
    freeifaddrs(list);
    return out;
  }

  std::vector<std::string> nameServers() override {
    auto servers = nameServersIn("/etc/resolv.conf");
    // A local stub resolver stands in front of the real servers; list those.
    if (!servers.empty() && std::all_of(servers.begin(), servers.end(), isLoopback)) {
      auto upstream = nameServersIn("/run/systemd/resolve/resolv.conf");
      if (!upstream.empty()) return upstream;
    }
    return servers;
  }
};

}  // namespace

std::shared_ptr<INetworkSettings> SystemNetworkSettings() {
  static auto settings = std::make_shared<SystemNetworkSettingsImpl>();
  return settings;
}

}  // namespace sondrel
