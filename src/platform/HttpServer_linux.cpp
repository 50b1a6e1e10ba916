// cpp-httplib parses each request and writes each answer; the connections
// are ours. Its own connection loop waits for a request's bytes one read
// time-out at a time, so a client sending a byte now and then holds a thread
// for as long as it likes, and its thread pool serves connections in turn,
// so a few idle clients keep a scrape waiting. Here each connection has a
// thread of its own up to a bound (one more is answered 503 at once), the
// line and headers of a request must come whole within one time-out and a
// byte bound, and stop() wakes every connection at once.

#include "platform/HttpServer_linux.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netdb.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace sondrel {
namespace {

using Clock = std::chrono::steady_clock;

// What a connection's thread knows of the request cpp-httplib works on.
struct Exchange {
  bool headTooLarge = false;
  bool closeAfter = false;  // it carried a body, which is never read
  bool handled = false;     // the handler answered it (else cpp-httplib refused it)
};
thread_local Exchange* tExchange = nullptr;
// Set on the accepting thread while it turns away a connection beyond the bound.
thread_local bool tTurnAway = false;

constexpr std::string_view kBusyAnswer =
    "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain\r\nContent-Length: 21\r\n"
    "Retry-After: 1\r\nConnection: close\r\n\r\nToo many connections\n";
constexpr std::string_view kHeadTooLargeAnswer =
    "HTTP/1.1 431 Request Header Fields Too Large\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
constexpr std::size_t kMostDrained = 1 << 20;
constexpr int kLongestDrainMs = 1000;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
}

enum class Ready { Yes, TimedOut, Stopped, Failed };

// Until `sock` is ready for `events`, the deadline passes or the server stops.
Ready WaitFor(int sock, short events, int wakeFd, Clock::time_point deadline) {
  for (;;) {
    pollfd fds[2] = {{sock, events, 0}, {wakeFd, POLLIN, 0}};
    const int n = ::poll(fds, 2, MsLeft(deadline));
    if (n < 0) {
      if (errno == EINTR) continue;
      return Ready::Failed;
    }
    if (fds[1].revents != 0) return Ready::Stopped;
    if (fds[0].revents != 0) return Ready::Yes;  // a hang-up too: the read or write tells
    if (Clock::now() >= deadline) return Ready::TimedOut;
  }
}

void AddressOf(const sockaddr_storage& a, std::string& ip, int& port) {
  char text[INET6_ADDRSTRLEN] = {};
  if (a.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(a);
    ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
    port = ntohs(v4.sin_port);
  } else if (a.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(a);
    ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
    port = ntohs(v6.sin6_port);
  }
  ip = text;
}

// One connection's bytes for cpp-httplib's parser and writer, within the limits.
class SocketStream final : public httplib::Stream {
 public:
  SocketStream(int sock, int wakeFd, const HttpLimits& limits) : sock_(sock), wake_(wakeFd), limits_(limits) {}

  // Until the next request's first byte is here (false: time-out, stop, hang-up).
  bool awaitRequest(int timeoutMs) {
    if (begin_ < end_) return true;
    return WaitFor(sock_, POLLIN, wake_, Clock::now() + std::chrono::milliseconds(timeoutMs)) == Ready::Yes;
  }
  // A new request: its line and headers must come whole within the read
  // time-out and the byte bound.
  void beginRequest() {
    inHead_ = true;
    headBytes_ = 0;
    matched_ = 0;
    readDeadline_ = Clock::now() + std::chrono::milliseconds(limits_.readTimeoutMs);
    writing_ = false;
    written_ = 0;
  }
  std::size_t writtenThisRequest() const { return written_; }

  bool is_readable() const override {
    return (inHead_ && begin_ < end_) || WaitFor(sock_, POLLIN, wake_, readDeadline_) == Ready::Yes;
  }
  bool is_writable() const override {
    startWriting();
    return WaitFor(sock_, POLLOUT, wake_, writeDeadline_) == Ready::Yes;
  }

  ssize_t read(char* ptr, size_t size) override {
    if (size == 0) return 0;
    if (!inHead_) return -1;  // bodies are never read
    while (begin_ == end_) {
      if (WaitFor(sock_, POLLIN, wake_, readDeadline_) != Ready::Yes) return -1;
      const ssize_t n = ::recv(sock_, buffer_, sizeof buffer_, MSG_DONTWAIT);
      if (n == 0) return 0;
      if (n < 0) {
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
        return -1;
      }
      begin_ = 0;
      end_ = static_cast<std::size_t>(n);
    }
    std::size_t given = 0;
    while (given < size && begin_ < end_ && inHead_) {
      if (headBytes_ == limits_.maxHeaderBytes) {
        if (tExchange) tExchange->headTooLarge = true;
        return given > 0 ? static_cast<ssize_t>(given) : -1;
      }
      const char c = buffer_[begin_++];
      ptr[given++] = c;
      ++headBytes_;
      // The head ends with an empty line: "\n\r\n".
      if (c == '\n') {
        if (matched_ == 2) inHead_ = false;
        matched_ = 1;
      } else {
        matched_ = c == '\r' && matched_ == 1 ? 2 : 0;
      }
    }
    return static_cast<ssize_t>(given);
  }

  ssize_t write(const char* ptr, size_t size) override {
    startWriting();
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = ::send(sock_, ptr + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        written_ += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        if (WaitFor(sock_, POLLOUT, wake_, writeDeadline_) != Ready::Yes) return -1;
      } else {
        return -1;
      }
    }
    return static_cast<ssize_t>(size);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage a{};
    socklen_t length = sizeof a;
    if (::getpeername(sock_, reinterpret_cast<sockaddr*>(&a), &length) == 0) AddressOf(a, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage a{};
    socklen_t length = sizeof a;
    if (::getsockname(sock_, reinterpret_cast<sockaddr*>(&a), &length) == 0) AddressOf(a, ip, port);
  }
  socket_t socket() const override { return sock_; }

  // What the client still sends after a refusal is read and dropped for a
  // moment, so that closing does not reset the connection before the
  // client has read the answer.
  void drain() {
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::min(limits_.readTimeoutMs, kLongestDrainMs));
    std::size_t dropped = 0;
    while (dropped < kMostDrained && WaitFor(sock_, POLLIN, wake_, deadline) == Ready::Yes) {
      const ssize_t n = ::recv(sock_, buffer_, sizeof buffer_, MSG_DONTWAIT);
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) break;
      if (n > 0) dropped += static_cast<std::size_t>(n);
    }
  }

 private:
  void startWriting() const {
    if (writing_) return;
    writing_ = true;
    writeDeadline_ = Clock::now() + std::chrono::milliseconds(limits_.writeTimeoutMs);
  }

  int sock_;
  int wake_;
  const HttpLimits& limits_;
  char buffer_[4096];
  std::size_t begin_ = 0, end_ = 0;
  bool inHead_ = true;
  std::size_t headBytes_ = 0;
  int matched_ = 0;
  Clock::time_point readDeadline_{};
  mutable bool writing_ = false;
  mutable Clock::time_point writeDeadline_{};
  std::size_t written_ = 0;
};

// A thread for each connection, up to the bound; cpp-httplib hands each
// accepted socket over as a task.
class ConnectionPool final : public httplib::TaskQueue {
 public:
  explicit ConnectionPool(std::size_t most) : most_(most) {}

  void enqueue(std::function<void()> task) override {
    std::unique_lock lock(mutex_);
    if (open_ >= most_) {
      lock.unlock();
      tTurnAway = true;
      task();
      tTurnAway = false;
      return;
    }
    ++open_;
    tasks_.push_back(std::move(task));
    // Every waiting task has an idle thread of its own: a connection never
    // waits behind another one.
    if (tasks_.size() > idle_ && threads_.size() < most_)
      threads_.emplace_back([this] { work(); });
    else
      wake_.notify_one();
  }

  void shutdown() override {
    {
      std::lock_guard lock(mutex_);
      closing_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

 private:
  void work() {
    std::unique_lock lock(mutex_);
    for (;;) {
      ++idle_;
      wake_.wait(lock, [this] { return !tasks_.empty() || closing_; });
      --idle_;
      if (tasks_.empty()) return;
      std::function<void()> task = std::move(tasks_.front());
      tasks_.pop_front();
      lock.unlock();
      task();
      lock.lock();
      --open_;
    }
  }

  const std::size_t most_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  std::vector<std::thread> threads_;  // touched by the accepting thread only
  std::size_t open_ = 0, idle_ = 0;
  bool closing_ = false;
};

class LimitedServer final : public httplib::Server {
 public:
  LimitedServer(const HttpLimits& limits, int wakeFd) : limits_(limits), wake_(wakeFd) {
    new_task_queue = [this] { return new ConnectionPool(static_cast<std::size_t>(limits_.maxConnections)); };
  }
  int listeningSocket() const { return svr_sock_; }

 private:
  bool process_and_close_socket(socket_t sock) override {
    if (tTurnAway) {
      ::send(sock, kBusyAnswer.data(), kBusyAnswer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      ::shutdown(sock, SHUT_RDWR);
      ::close(sock);
      return true;
    }
    SocketStream stream(sock, wake_, limits_);
    bool refused = false;
    for (int served = 0; served < limits_.maxRequestsPerConnection; ++served) {
      if (!stream.awaitRequest(served == 0 ? limits_.readTimeoutMs : limits_.idleTimeoutMs)) break;
      Exchange exchange;
      tExchange = &exchange;
      stream.beginRequest();
      bool closed = false;
      const bool ok = process_request(stream, served + 1 == limits_.maxRequestsPerConnection, closed, nullptr);
      tExchange = nullptr;
      if (exchange.headTooLarge) {
        // Cut short in its first line, the request had no answer yet.
        if (stream.writtenThisRequest() == 0) stream.write(kHeadTooLargeAnswer.data(), kHeadTooLargeAnswer.size());
        refused = true;
        break;
      }
      // A request refused as malformed or cut off by its time-out ends the
      // connection: what follows would be read as the next one.
      if (!ok || closed || exchange.closeAfter || !exchange.handled) break;
    }
    ::shutdown(sock, SHUT_WR);
    if (refused) stream.drain();
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return true;
  }

  const HttpLimits limits_;
  const int wake_;
};

// Only SO_REUSEADDR: cpp-httplib's default SO_REUSEPORT would let a second
// server bind the same port and take half of its connections.
void ReuseAddress(socket_t sock) {
  const int yes = 1;
  ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

void Answer(const HttpHandler& handler, const httplib::Request& req, httplib::Response& res) {
  HttpRequest request{req.method, req.path, {}};
  for (std::size_t k = 0, n = req.get_header_value_count("Accept"); k < n; ++k)
    request.accept += (k ? "," : "") + req.get_header_value("Accept", k);
  const bool body = (req.has_header("Content-Length") && req.get_header_value("Content-Length") != "0") ||
                    req.has_header("Transfer-Encoding");
  if (tExchange) tExchange->handled = true;
  HttpResponse answer;
  try {
    answer = handler(request);
  } catch (...) {
    answer = {500, "text/plain; charset=utf-8", "Internal Server Error\n", {}};
  }
  res.status = answer.status;
  for (const auto& [name, value] : answer.headers) res.set_header(name, value);
  if (!answer.contentType.empty())
    res.set_content(std::move(answer.body), answer.contentType);
  else
    res.body = std::move(answer.body);
  if (body) {
    res.set_header("Connection", "close");
    if (tExchange) tExchange->closeAfter = true;
  }
}

class HttpServer final : public IHttpServer {
 public:
  explicit HttpServer(const HttpLimits& limits) : limits_(limits) {
    limits_.maxHeaderBytes = std::max<std::size_t>(limits_.maxHeaderBytes, 64);
    limits_.readTimeoutMs = std::max(limits_.readTimeoutMs, 1);
    limits_.writeTimeoutMs = std::max(limits_.writeTimeoutMs, 1);
    limits_.idleTimeoutMs = std::max(limits_.idleTimeoutMs, 1);
    limits_.maxRequestsPerConnection = std::max(limits_.maxRequestsPerConnection, 1);
    limits_.maxConnections = std::max(limits_.maxConnections, 1);
  }
  ~HttpServer() override { stop(); }

  Result<void> listen(const std::string& address, std::uint16_t port, HttpHandler handler) override {
    std::lock_guard lock(mutex_);
    if (server_) return Error{EALREADY, "the HTTP server listens already, on port " + std::to_string(port_)};
    in_addr v4{};
    in6_addr v6{};
    const bool ipv4 = ::inet_pton(AF_INET, address.c_str(), &v4) == 1;
    if (!ipv4 && ::inet_pton(AF_INET6, address.c_str(), &v6) != 1)
      return Error{EINVAL, "cannot listen on '" + address + "': not a numeric IP address"};
    const std::string shown = (ipv4 ? address : "[" + address + "]") + ":" + std::to_string(port);

    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) return Error{errno, "cannot listen on " + shown + ": " + std::strerror(errno)};
    // cpp-httplib's server ignores SIGPIPE for the whole process as it is
    // made; this one writes with MSG_NOSIGNAL, so the program's own choice stays.
    struct sigaction pipeAction {};
    ::sigaction(SIGPIPE, nullptr, &pipeAction);
    auto server = std::make_unique<LimitedServer>(limits_, wake);
    ::sigaction(SIGPIPE, &pipeAction, nullptr);

    server->set_socket_options(ReuseAddress);
    server->set_pre_routing_handler([handler = std::move(handler)](const httplib::Request& req, httplib::Response& res) {
      Answer(handler, req, res);
      return httplib::Server::HandlerResponse::Handled;
    });
    server->set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
      if (!tExchange || !tExchange->headTooLarge) return httplib::Server::HandlerResponse::Unhandled;
      res.status = 431;
      return httplib::Server::HandlerResponse::Handled;
    }));
    // What cpp-httplib tells clients in its Keep-Alive header.
    server->set_keep_alive_max_count(static_cast<std::size_t>(limits_.maxRequestsPerConnection));
    server->set_keep_alive_timeout(std::max(1, limits_.idleTimeoutMs / 1000));
    server->set_read_timeout(std::chrono::milliseconds(limits_.readTimeoutMs));
    server->set_write_timeout(std::chrono::milliseconds(limits_.writeTimeoutMs));

    errno = 0;
    if (!server->bind_to_port(address, port, AI_NUMERICHOST | AI_PASSIVE)) {
      const int e = errno != 0 ? errno : EADDRNOTAVAIL;
      ::close(wake);
      return Error{e, "cannot listen on " + shown + ": " + std::strerror(e)};
    }
    // cpp-httplib listens with a backlog of 5: a burst of clients beyond it
    // would wait for the kernel's retries, seconds each, before even being
    // turned away.
    ::listen(server->listeningSocket(), SOMAXCONN);
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    std::string ip;
    int boundPort = port;
    if (::getsockname(server->listeningSocket(), reinterpret_cast<sockaddr*>(&bound), &length) == 0)
      AddressOf(bound, ip, boundPort);

    auto done = std::make_shared<std::atomic<bool>>(false);
    thread_ = std::thread([s = server.get(), done] {
      s->listen_after_bind();
      done->store(true);
    });
    // stop() before the accepting loop runs would not reach it; 5 s is far
    // beyond what a thread takes to start.
    for (int k = 0; k < 5000 && !server->is_running() && !done->load(); ++k)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    server_ = std::move(server);
    wake_ = wake;
    port_ = static_cast<std::uint16_t>(boundPort);
    return {};
  }

  std::uint16_t port() const override {
    std::lock_guard lock(mutex_);
    return port_;
  }

  void stop() override {
    std::unique_ptr<LimitedServer> server;
    std::thread thread;
    int wake = -1;
    {
      std::lock_guard lock(mutex_);
      if (!server_) return;
      server = std::move(server_);
      thread = std::move(thread_);
      wake = wake_;
      port_ = 0;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake, &one, sizeof one);
    server->stop();
    thread.join();  // after every connection's thread has ended
    ::close(wake);
  }

 private:
  HttpLimits limits_;
  mutable std::mutex mutex_;
  std::unique_ptr<LimitedServer> server_;
  std::thread thread_;
  int wake_ = -1;
  std::uint16_t port_ = 0;
};

}  // namespace

std::unique_ptr<IHttpServer> MakeHttpServer(const HttpLimits& limits) {
  return std::make_unique<HttpServer>(limits);
}

}  // namespace sondrel
