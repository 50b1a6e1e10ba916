// sondrel-test-responder: a network that misbehaves on purpose, for tests.
//
// It owns a TUN device in the caller's (private) network namespace, gives it
// 198.18.0.1/24 so that the kernel routes that subnet into it, and answers
// the ICMP echoes that come out of it by a script, one line per address:
//
//   198.18.0.2 delay=20 jitter=0 loss=0 ttl=64
//   198.18.0.3 dup=2                 two extra copies of each reply
//   198.18.0.4 reorder=300           every second reply 300 ms later still
//   198.18.0.5 badsum=1              replies with a corrupted checksum
//   198.18.0.6 badid=1               replies with another identifier
//   198.18.0.7 from=198.18.0.77      replies sent from another address
//   198.18.0.8 error=host-unreachable [errfrom=198.18.0.254]
//
// Errors: net-unreachable, host-unreachable, ttl-exceeded, frag-needed,
// admin-prohibited; each quotes the request's IP header and first 8 bytes.
// Addresses not in the script never answer. "#" starts a comment.
//
// Usage: sondrel-test-responder SCRIPT [DEVICE]
// Prints "ready" once the device is up; ends on SIGTERM or when stdin closes.
// It refuses to run outside the test's private namespace (SONDREL_ISOLATED=1).
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <queue>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Behaviour {
  int delayMs = 0;
  int jitterMs = 0;
  double loss = 0;
  int ttl = 64;
  int duplicates = 0;
  int reorderMs = 0;
  bool badChecksum = false;
  bool badIdentifier = false;
  std::uint32_t from = 0;  // network order; 0: the address pinged
  int errorType = -1;
  int errorCode = 0;
  std::uint32_t errorFrom = 0;
  std::uint64_t replies = 0;  // replies made so far, for reorder
};

struct Pending {
  Clock::time_point at;
  std::uint64_t order;
  std::vector<std::uint8_t> packet;
  bool operator>(const Pending& o) const { return at != o.at ? at > o.at : order > o.order; }
};

volatile sig_atomic_t stopping = 0;
void onTerm(int) { stopping = 1; }

std::uint16_t checksum(const std::uint8_t* p, std::size_t n) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < n; i += 2) sum += static_cast<std::uint32_t>(p[i] << 8 | p[i + 1]);
  if (n & 1) sum += static_cast<std::uint32_t>(p[n - 1] << 8);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

void put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}

std::uint32_t parseAddress(const std::string& text) {
  in_addr a{};
  if (inet_pton(AF_INET, text.c_str(), &a) != 1) {
    std::fprintf(stderr, "responder: bad address %s\n", text.c_str());
    std::exit(2);
  }
  return a.s_addr;
}

// An IPv4 packet of protocol ICMP around `icmp`, its checksums filled in.
std::vector<std::uint8_t> ipPacket(std::uint32_t src, std::uint32_t dst, int ttl,
                                   std::vector<std::uint8_t> icmp, bool spoilChecksum) {
  put16(&icmp[2], 0);
  std::uint16_t sum = checksum(icmp.data(), icmp.size());
  if (spoilChecksum) sum ^= 0x5A5A;
  put16(&icmp[2], sum);
  std::vector<std::uint8_t> p(20);
  p[0] = 0x45;
  put16(&p[2], static_cast<std::uint16_t>(20 + icmp.size()));
  p[8] = static_cast<std::uint8_t>(ttl);
  p[9] = 1;
  std::memcpy(&p[12], &src, 4);
  std::memcpy(&p[16], &dst, 4);
  put16(&p[10], checksum(p.data(), 20));
  p.insert(p.end(), icmp.begin(), icmp.end());
  return p;
}

bool parseError(const std::string& name, Behaviour& b) {
  static const std::map<std::string, std::pair<int, int>> kinds = {
      {"net-unreachable", {3, 0}}, {"host-unreachable", {3, 1}}, {"frag-needed", {3, 4}},
      {"admin-prohibited", {3, 13}}, {"ttl-exceeded", {11, 0}}};
  const auto it = kinds.find(name);
  if (it == kinds.end()) return false;
  b.errorType = it->second.first;
  b.errorCode = it->second.second;
  return true;
}

std::map<std::uint32_t, Behaviour> readScript(const char* path) {
  std::map<std::uint32_t, Behaviour> script;
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "responder: cannot read %s\n", path);
    std::exit(2);
  }
  std::string line;
  while (std::getline(in, line)) {
    if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string address;
    if (!(words >> address)) continue;
    Behaviour b;
    std::string word;
    while (words >> word) {
      const auto eq = word.find('=');
      const std::string key = word.substr(0, eq);
      const std::string value = eq == std::string::npos ? "1" : word.substr(eq + 1);
      if (key == "delay") b.delayMs = std::stoi(value);
      else if (key == "jitter") b.jitterMs = std::stoi(value);
      else if (key == "loss") b.loss = std::stod(value);
      else if (key == "ttl") b.ttl = std::stoi(value);
      else if (key == "dup") b.duplicates = std::stoi(value);
      else if (key == "reorder") b.reorderMs = std::stoi(value);
      else if (key == "badsum") b.badChecksum = value != "0";
      else if (key == "badid") b.badIdentifier = value != "0";
      else if (key == "from") b.from = parseAddress(value);
      else if (key == "errfrom") b.errorFrom = parseAddress(value);
      else if (key == "error" && parseError(value, b)) {}
      else {
        std::fprintf(stderr, "responder: unknown setting %s\n", word.c_str());
        std::exit(2);
      }
    }
    script[parseAddress(address)] = b;
  }
  return script;
}

int openTun(std::string& name) {
  const int fd = open("/dev/net/tun", O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    std::perror("responder: /dev/net/tun");
    std::exit(3);
  }
  ifreq ifr{};
  ifr.ifr_flags = IFF_TUN | IFF_NO_PI;
  std::strncpy(ifr.ifr_name, name.c_str(), IFNAMSIZ - 1);
  if (ioctl(fd, TUNSETIFF, &ifr) != 0) {
    std::perror("responder: TUNSETIFF");
    std::exit(3);
  }
  name = ifr.ifr_name;
  return fd;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: sondrel-test-responder SCRIPT [DEVICE]\n");
    return 2;
  }
  const char* isolated = std::getenv("SONDREL_ISOLATED");
  if (!isolated || std::strcmp(isolated, "1") != 0) {
    std::fprintf(stderr, "responder: runs only inside a private network namespace\n");
    return 3;
  }
  auto script = readScript(argv[1]);
  std::string device = argc > 2 ? argv[2] : "sdtest0";
  const int tun = openTun(device);
  const std::string up = "ip addr add 198.18.0.1/24 dev " + device + " && ip link set dev " +
                         device + " up";
  if (std::system(up.c_str()) != 0) {
    std::fprintf(stderr, "responder: cannot bring %s up\n", device.c_str());
    return 3;
  }
  signal(SIGTERM, onTerm);
  signal(SIGINT, onTerm);
  signal(SIGPIPE, SIG_IGN);
  std::printf("ready\n");
  std::fflush(stdout);

  std::mt19937_64 random(1234567);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::priority_queue<Pending, std::vector<Pending>, std::greater<>> queue;
  std::uint64_t order = 0;
  std::vector<std::uint8_t> buffer(65536);

  while (!stopping) {
    int waitMs = 200;
    if (!queue.empty()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(queue.top().at - Clock::now());
      waitMs = static_cast<int>(std::max<long long>(0, std::min<long long>(left.count(), 200)));
    }
    pollfd fds[2] = {{tun, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    const int ready = poll(fds, 2, waitMs);
    if (ready > 0 && (fds[1].revents & (POLLIN | POLLHUP))) {
      char c;
      if (read(STDIN_FILENO, &c, 1) <= 0) break;  // the test has gone
    }
    while (!queue.empty() && queue.top().at <= Clock::now()) {
      const auto& p = queue.top().packet;
      if (write(tun, p.data(), p.size()) < 0) std::perror("responder: write");
      queue.pop();
    }
    if (ready <= 0 || !(fds[0].revents & POLLIN)) continue;
    const ssize_t n = read(tun, buffer.data(), buffer.size());
    if (n < 28 || (buffer[0] >> 4) != 4 || buffer[9] != 1) continue;
    const std::size_t ihl = (buffer[0] & 0x0F) * 4u;
    if (static_cast<std::size_t>(n) < ihl + 8 || buffer[ihl] != 8) continue;  // echo requests only
    std::uint32_t src, dst;
    std::memcpy(&src, &buffer[12], 4);
    std::memcpy(&dst, &buffer[16], 4);
    const auto it = script.find(dst);
    if (it == script.end()) continue;
    Behaviour& b = it->second;
    if (b.loss > 0 && unit(random) < b.loss) continue;

    std::vector<std::uint8_t> reply;
    std::uint32_t replySource = b.from ? b.from : dst;
    int ttl = b.ttl;
    if (b.errorType >= 0) {
      // Type, code, checksum, 4 unused bytes (the MTU for frag-needed), then the quote.
      reply.assign(8, 0);
      reply[0] = static_cast<std::uint8_t>(b.errorType);
      reply[1] = static_cast<std::uint8_t>(b.errorCode);
      if (b.errorType == 3 && b.errorCode == 4) put16(&reply[6], 576);
      reply.insert(reply.end(), buffer.begin(), buffer.begin() + static_cast<long>(ihl + 8));
      replySource = b.errorFrom ? b.errorFrom : dst;
      ttl = 64;
    } else {
      reply.assign(buffer.begin() + static_cast<long>(ihl), buffer.begin() + n);
      reply[0] = 0;
      if (b.badIdentifier) put16(&reply[4], static_cast<std::uint16_t>(((reply[4] << 8) | reply[5]) + 1));
    }
    std::vector<std::uint8_t> packet = ipPacket(replySource, src, ttl, std::move(reply), b.badChecksum);
    int delay = b.delayMs;
    if (b.jitterMs > 0) delay += static_cast<int>(unit(random) * (2 * b.jitterMs + 1)) - b.jitterMs;
    if (b.reorderMs > 0 && (b.replies % 2) == 0) delay += b.reorderMs;
    ++b.replies;
    const auto at = Clock::now() + std::chrono::milliseconds(std::max(0, delay));
    for (int copy = 0; copy <= b.duplicates; ++copy) queue.push({at, order++, packet});
  }
  close(tun);
  return 0;
}
