#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>

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

int ReverseLookupPatienceMs() {
  constexpr int kLeastMs = 11000;
  // This thread's resolver state, read from resolv.conf as every lookup's is.
  if (res_init() != 0) return kLeastMs;
  const long tries = std::max(1, _res.retry);
  const long perTry = std::max(1, _res.retrans);
  return static_cast<int>(std::max<long>(kLeastMs, (perTry * tries + 1) * 1000));
}

std::size_t LookupsInFlightLimit() {
  constexpr rlim_t kOwnDescriptors = 64;
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 16;
  if (limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  if (limit.rlim_cur == RLIM_INFINITY) return 65536;
  if (limit.rlim_cur <= kOwnDescriptors + 16) return 16;
  return static_cast<std::size_t>(std::min<rlim_t>(limit.rlim_cur - kOwnDescriptors, 65536));
}

}  // namespace sondrel
