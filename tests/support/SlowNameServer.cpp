// A name server for the tests: answers reverse (PTR) queries for IPv4
// addresses over UDP after a delay, each query on its own clock, so that
// many queries wait side by side as they would at a slow real server. Runs
// only where the test points its resolver at it (a private namespace with
// its own resolv.conf).
//
//   sondrel-test-nameserver --listen ADDRESS [--port N] [--delay MS]
//       [--delay-of ADDRESS=MS]... [--name-of ADDRESS=NAME]... [--suffix S]
//       [--silent]
//
// The name of a.b.c.d is "host-a-b-c-d." + suffix ("test" by default) unless
// --name-of gives one; --silent answers nothing at all (a dead server).
// Other queries get "no such name" at once. Prints "ready" once listening,
// then "waiting N" for each query taken: N replies are then held back.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <queue>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Pending {
  Clock::time_point due;
  sockaddr_in to;
  std::vector<unsigned char> bytes;
  bool operator>(const Pending& other) const { return due > other.due; }
};

// The question's name as dotted text; `end` is set past the question.
bool ReadQuestion(const unsigned char* p, std::size_t size, std::string& name, std::size_t& end,
                  unsigned& type) {
  std::size_t at = 12;
  name.clear();
  while (at < size && p[at] != 0) {
    const std::size_t length = p[at];
    if (length > 63 || at + 1 + length > size) return false;
    if (!name.empty()) name += '.';
    name.append(reinterpret_cast<const char*>(p + at + 1), length);
    at += 1 + length;
  }
  if (at + 5 > size) return false;
  type = (p[at + 1] << 8) | p[at + 2];
  end = at + 5;
  return true;
}

void PutName(std::vector<unsigned char>& out, const std::string& name) {
  std::size_t start = 0;
  while (start < name.size()) {
    std::size_t dot = name.find('.', start);
    if (dot == std::string::npos) dot = name.size();
    const std::size_t length = std::min<std::size_t>(dot - start, 63);
    out.push_back(static_cast<unsigned char>(length));
    out.insert(out.end(), name.begin() + static_cast<long>(start),
               name.begin() + static_cast<long>(start + length));
    start = dot + 1;
  }
  out.push_back(0);
}

// "d.c.b.a.in-addr.arpa" -> "a.b.c.d", or "".
std::string AddressOfReverseName(const std::string& name) {
  const std::string suffix = ".in-addr.arpa";
  if (name.size() <= suffix.size()) return {};
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) != 0) return {};
  std::vector<std::string> parts;
  std::string part;
  for (char c : lower.substr(0, lower.size() - suffix.size())) {
    if (c == '.') {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(part);
  if (parts.size() != 4) return {};
  return parts[3] + "." + parts[2] + "." + parts[1] + "." + parts[0];
}

}  // namespace

int main(int argc, char** argv) {
  std::string listen;
  int port = 53;
  long delayMs = 0;
  bool silent = false;
  std::string suffix = "test";
  std::map<std::string, long> delayOf;
  std::map<std::string, std::string> nameOf;
  for (int k = 1; k < argc; ++k) {
    const std::string arg = argv[k];
    const bool hasValue = k + 1 < argc;
    if (arg == "--listen" && hasValue) {
      listen = argv[++k];
    } else if (arg == "--port" && hasValue) {
      port = std::atoi(argv[++k]);
    } else if (arg == "--delay" && hasValue) {
      delayMs = std::atol(argv[++k]);
    } else if (arg == "--suffix" && hasValue) {
      suffix = argv[++k];
    } else if ((arg == "--delay-of" || arg == "--name-of") && hasValue) {
      const std::string pair = argv[++k];
      const std::size_t eq = pair.find('=');
      if (eq == std::string::npos) return 2;
      if (arg == "--delay-of") delayOf[pair.substr(0, eq)] = std::atol(pair.c_str() + eq + 1);
      else nameOf[pair.substr(0, eq)] = pair.substr(eq + 1);
    } else if (arg == "--silent") {
      silent = true;
    } else {
      std::fprintf(stderr, "unknown argument %s\n", arg.c_str());
      return 2;
    }
  }
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in self{};
  self.sin_family = AF_INET;
  self.sin_port = htons(static_cast<std::uint16_t>(port));
  if (fd < 0 || inet_pton(AF_INET, listen.c_str(), &self.sin_addr) != 1 ||
      ::bind(fd, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0) {
    std::perror("nameserver");
    return 1;
  }
  std::puts("ready");
  std::fflush(stdout);

  std::priority_queue<Pending, std::vector<Pending>, std::greater<Pending>> due;
  for (;;) {
    int waitMs = -1;
    if (!due.empty()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due.top().due - Clock::now());
      waitMs = static_cast<int>(std::max<long>(0, left.count() + 1));
    }
    pollfd p{fd, POLLIN, 0};
    ::poll(&p, 1, waitMs);
    while (!due.empty() && due.top().due <= Clock::now()) {
      const Pending& next = due.top();
      ::sendto(fd, next.bytes.data(), next.bytes.size(), 0, reinterpret_cast<const sockaddr*>(&next.to),
               sizeof next.to);
      due.pop();
    }
    if (!(p.revents & POLLIN)) continue;
    unsigned char query[512];
    sockaddr_in from{};
    socklen_t fromSize = sizeof from;
    const ssize_t got = ::recvfrom(fd, query, sizeof query, MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&from), &fromSize);
    if (got < 12 || silent) continue;
    std::string name;
    std::size_t end = 0;
    unsigned type = 0;
    if (!ReadQuestion(query, static_cast<std::size_t>(got), name, end, type)) continue;
    const std::string address = AddressOfReverseName(name);
    const bool answer = type == 12 && !address.empty();
    Pending reply;
    reply.to = from;
    reply.bytes.assign(query, query + end);
    reply.bytes[2] = 0x85;                           // a response, authoritative, recursion asked
    reply.bytes[3] = answer ? 0x80 : 0x83;           // recursion available; or no such name
    reply.bytes[6] = 0;
    reply.bytes[7] = answer ? 1 : 0;                 // answers
    for (int k = 8; k < 12; ++k) reply.bytes[k] = 0;  // no authority, no additional
    long delay = 0;
    if (answer) {
      const auto named = nameOf.find(address);
      std::string host;
      if (named != nameOf.end()) {
        host = named->second;
      } else {
        std::string dashed = address;
        for (char& c : dashed)
          if (c == '.') c = '-';
        host = "host-" + dashed + "." + suffix;
      }
      std::vector<unsigned char> rdata;
      PutName(rdata, host);
      reply.bytes.insert(reply.bytes.end(), {0xC0, 0x0C, 0x00, 0x0C, 0x00, 0x01, 0x00, 0x00, 0x00, 0x3C,
                                             static_cast<unsigned char>(rdata.size() >> 8),
                                             static_cast<unsigned char>(rdata.size())});
      reply.bytes.insert(reply.bytes.end(), rdata.begin(), rdata.end());
      const auto slow = delayOf.find(address);
      delay = slow != delayOf.end() ? slow->second : delayMs;
    }
    reply.due = Clock::now() + std::chrono::milliseconds(delay);
    due.push(std::move(reply));
    std::printf("waiting %zu\n", due.size());
    std::fflush(stdout);
  }
}
