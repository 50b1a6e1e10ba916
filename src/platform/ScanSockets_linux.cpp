#include "platform/ScanSockets_linux.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <random>

#include "core/scan/ScanWire.h"

namespace sondrel {

bool DescriptorOpen(int fd) { return fd >= 0 && ::fcntl(fd, F_GETFD) != -1; }

bool WriteReportBytes(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 100);
        continue;
      }
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::optional<std::array<std::uint8_t, 6>> QueryNodeStatusMac(std::uint32_t address,
                                                               int timeoutMs) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::nullopt;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(137);
  to.sin_addr.s_addr = address;
  // Connected, so that only that host's answer (or its refusal) comes back.
  if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    ::close(fd);
    return std::nullopt;
  }
  std::random_device seed;
  const auto id = static_cast<std::uint16_t>(seed());
  const auto request = NodeStatusRequest(id);
  std::optional<std::array<std::uint8_t, 6>> mac;
  if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
      static_cast<ssize_t>(request.size())) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::uint8_t answer[1500];
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            end - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) break;
      pollfd p{fd, POLLIN, 0};
      const int ready = ::poll(&p, 1, static_cast<int>(left));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) break;
      const ssize_t n = ::recv(fd, answer, sizeof answer, 0);
      if (n < 0) {
        if (errno == EINTR) continue;
        break;  // refused: nothing listens there
      }
      mac = ParseNodeStatusResponse(answer, static_cast<std::size_t>(n), id);
      if (mac) break;
    }
  }
  ::close(fd);
  return mac;
}

}  // namespace sondrel
