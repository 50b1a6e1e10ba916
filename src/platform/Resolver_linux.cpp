#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include "platform/Resolver_linux.h"

namespace sondrel {
namespace {

class SystemNameResolver final : public IResolver {
 public:
  std::string firstIPv4(const std::string& name) override {
    if (name.empty()) return {};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;  // one entry per address, not one per socket type
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found) return {};
    std::string dotted;
    for (const addrinfo* a = found; a; a = a->ai_next) {
      if (a->ai_family != AF_INET || !a->ai_addr) continue;
      char text[INET_ADDRSTRLEN];
      const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
      if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) dotted = text;
      break;
    }
    freeaddrinfo(found);
    return dotted;
  }

  std::string nameOf(const std::string& address) override {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    if (inet_pton(AF_INET, address.c_str(), &in.sin_addr) != 1) return {};
    char host[NI_MAXHOST];
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&in), sizeof in, host, sizeof host, nullptr, 0,
                    NI_NAMEREQD) != 0) {
      return {};
    }
    return host;
  }
};

}  // namespace

std::shared_ptr<IResolver> SystemResolver() {
  static const std::shared_ptr<IResolver> resolver = std::make_shared<SystemNameResolver>();
  return resolver;
}

}  // namespace sondrel
