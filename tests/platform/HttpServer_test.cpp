// The HTTP server on loopback, with cpp-httplib's client and with raw
// sockets for the clients that misbehave: what a handler is told and what it
// answers, listening that fails, a head too large, many idle connections and
// one that trickles, and stop() with clients still there.
#include "platform/HttpServer_linux.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sondrel {
namespace {

using namespace std::chrono_literals;

HttpResponse Echo(const HttpRequest& r) {
  return {200, "text/plain", r.method + " " + r.path + " [" + r.accept + "]", {{"X-Seen", "yes"}}};
}

// A connected raw socket to 127.0.0.1:port, -1 when it cannot connect.
int Connect(std::uint16_t port) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(s);
    return -1;
  }
  return s;
}

bool SendAll(int s, const std::string& bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::send(s, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// What the peer sends until it closes (or the bound passes).
std::string ReadToEnd(int s, std::chrono::milliseconds bound = 20s) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + bound;
  char buf[4096];
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{s, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    const ssize_t n = ::recv(s, buf, sizeof buf, 0);
    if (n <= 0) break;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

// Whether the peer has closed (EOF or reset) within the bound.
bool ClosedWithin(int s, std::chrono::milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  char buf[256];
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{s, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    if (::recv(s, buf, sizeof buf, MSG_DONTWAIT) <= 0) return true;
  }
  return false;
}

class HttpServerTest : public ::testing::Test {
 protected:
  void start(HttpLimits limits = {}, HttpHandler handler = Echo) {
    server = MakeHttpServer(limits);
    const auto listening = server->listen("127.0.0.1", 0, std::move(handler));
    ASSERT_TRUE(listening) << listening.error().message;
    port = server->port();
    ASSERT_NE(port, 0);
  }
  httplib::Result get(const std::string& path, const httplib::Headers& headers = {}) {
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(5s);
    client.set_read_timeout(5s);
    return client.Get(path, headers);
  }
  // A plain GET answered 200, tried again while the server turns it away,
  // within the bound.
  bool scrapeWithin(std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < deadline) {
      if (auto r = get("/metrics"); r && r->status == 200) return true;
    }
    return false;
  }

  std::unique_ptr<IHttpServer> server;
  std::uint16_t port = 0;
};

TEST_F(HttpServerTest, TheHandlerIsToldTheRequestAndItsAnswerIsSent) {
  start();
  auto r = get("/some/path?x=1", {{"Accept", "text/plain"}, {"Accept", "application/json;q=0.5"}});
  ASSERT_TRUE(r) << httplib::to_string(r.error());
  EXPECT_EQ(r->status, 200);
  EXPECT_EQ(r->body, "GET /some/path [text/plain,application/json;q=0.5]");
  EXPECT_EQ(r->get_header_value("Content-Type"), "text/plain");
  EXPECT_EQ(r->get_header_value("X-Seen"), "yes");

  // HEAD has the headers without the body; other methods reach the handler.
  httplib::Client client("127.0.0.1", port);
  auto head = client.Head("/p");
  ASSERT_TRUE(head);
  EXPECT_EQ(head->status, 200);
  EXPECT_EQ(head->body, "");
  EXPECT_EQ(head->get_header_value("Content-Length"), std::to_string(std::string("HEAD /p [*/*]").size()));
  auto del = client.Delete("/p");
  ASSERT_TRUE(del);
  EXPECT_EQ(del->body, "DELETE /p [*/*]");
}

TEST_F(HttpServerTest, ARequestWithABodyIsAnsweredAndItsConnectionClosed) {
  start();
  const int s = Connect(port);
  ASSERT_GE(s, 0);
  // The body is never read: were the connection kept, its bytes would be
  // taken for the next request.
  ASSERT_TRUE(SendAll(s, "POST /x HTTP/1.1\r\nHost: a\r\nContent-Length: 25\r\n\r\nGET /smuggled HTTP/1.1\r\n\r\n"));
  const std::string answer = ReadToEnd(s);
  ::close(s);
  EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << answer;
  EXPECT_NE(answer.find("Connection: close\r\n"), std::string::npos) << answer;
  EXPECT_NE(answer.find("POST /x []"), std::string::npos) << answer;
  EXPECT_EQ(answer.find("smuggled"), std::string::npos) << answer;
}

TEST_F(HttpServerTest, AKeptConnectionServesSeveralRequestsThenCloses) {
  HttpLimits limits;
  limits.maxRequestsPerConnection = 3;
  start(limits);
  const int s = Connect(port);
  ASSERT_GE(s, 0);
  std::string requests;
  for (int k = 0; k < 4; ++k) requests += "GET /" + std::to_string(k) + " HTTP/1.1\r\nHost: a\r\n\r\n";
  ASSERT_TRUE(SendAll(s, requests));
  const std::string answers = ReadToEnd(s);
  ::close(s);
  EXPECT_NE(answers.find("GET /0 []"), std::string::npos);
  EXPECT_NE(answers.find("GET /1 []"), std::string::npos);
  EXPECT_NE(answers.find("GET /2 []"), std::string::npos);
  EXPECT_EQ(answers.find("GET /3 []"), std::string::npos) << "the fourth went beyond the bound";
  EXPECT_NE(answers.find("Connection: close\r\n"), std::string::npos);
}

TEST_F(HttpServerTest, ListeningFailsClearly) {
  start();
  auto other = MakeHttpServer();
  const auto taken = other->listen("127.0.0.1", port, Echo);
  ASSERT_FALSE(taken) << "a second server took a port in use";
  EXPECT_EQ(taken.error().code, EADDRINUSE);
  EXPECT_EQ(taken.error().message, "cannot listen on 127.0.0.1:" + std::to_string(port) + ": Address already in use");

  const auto name = other->listen("localhost", 0, Echo);
  ASSERT_FALSE(name);
  EXPECT_EQ(name.error().message, "cannot listen on 'localhost': not a numeric IP address");
  const auto foreign = other->listen("192.0.2.1", 0, Echo);
  ASSERT_FALSE(foreign);
  EXPECT_EQ(foreign.error().message, "cannot listen on 192.0.2.1:0: Cannot assign requested address");

  const auto again = server->listen("127.0.0.1", 0, Echo);
  ASSERT_FALSE(again);
  EXPECT_EQ(again.error().message, "the HTTP server listens already, on port " + std::to_string(port));
  EXPECT_EQ(other->port(), 0);
}

TEST_F(HttpServerTest, AfterStopTheSamePortServesAgain) {
  start();
  ASSERT_TRUE(get("/"));  // a connection closed by the server leaves TIME_WAIT behind
  server->stop();
  EXPECT_EQ(server->port(), 0);
  EXPECT_FALSE(get("/"));
  const auto again = server->listen("127.0.0.1", port, Echo);
  ASSERT_TRUE(again) << again.error().message;
  auto r = get("/again");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->body, "GET /again [*/*]");
}

TEST_F(HttpServerTest, Ipv6Loopback) {
  server = MakeHttpServer();
  const auto listening = server->listen("::1", 0, Echo);
  if (!listening && listening.error().code == EADDRNOTAVAIL) GTEST_SKIP() << "no IPv6 loopback here";
  ASSERT_TRUE(listening) << listening.error().message;
  httplib::Client client("::1", server->port());
  auto r = client.Get("/six");
  ASSERT_TRUE(r) << httplib::to_string(r.error());
  EXPECT_EQ(r->body, "GET /six [*/*]");
}

TEST_F(HttpServerTest, TheProgramsSigpipeHandlingIsLeftAsItWas) {
  struct sigaction before {};
  ::sigaction(SIGPIPE, nullptr, &before);
  ASSERT_EQ(before.sa_handler, SIG_DFL);
  start();
  struct sigaction after {};
  ::sigaction(SIGPIPE, nullptr, &after);
  EXPECT_EQ(after.sa_handler, SIG_DFL);
  // A client gone before its answer is written kills nothing.
  for (int k = 0; k < 20; ++k) {
    const int s = Connect(port);
    ASSERT_GE(s, 0);
    SendAll(s, "GET / HTTP/1.1\r\nHost: a\r\n\r\n");
    linger hard{1, 0};
    ::setsockopt(s, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(s);
  }
  EXPECT_TRUE(scrapeWithin(20s));
}

TEST_F(HttpServerTest, AHeadTooLargeIsRefusedAndTheNextScrapeIsServed) {
  HttpLimits limits;
  limits.maxHeaderBytes = 8192;
  start(limits);
  for (const std::size_t size : {std::size_t{10'000}, std::size_t{100'000}}) {
    SCOPED_TRACE(size);
    const int s = Connect(port);
    ASSERT_GE(s, 0);
    std::string request = "GET /metrics HTTP/1.1\r\nHost: a\r\n";
    while (request.size() < size) request += "X-Filler: " + std::string(90, 'f') + "\r\n";
    request += "\r\n";
    std::thread sender([&] { SendAll(s, request); });  // the server may stop reading it
    const std::string answer = ReadToEnd(s);
    sender.join();
    ::close(s);
    EXPECT_EQ(answer.rfind("HTTP/1.1 431 Request Header Fields Too Large\r\n", 0), 0u) << answer.substr(0, 200);
    EXPECT_EQ(answer.find("GET /metrics"), std::string::npos) << "the handler saw it";
    auto r = get("/metrics");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
  }
  // A request line alone beyond the bound, too.
  const int s = Connect(port);
  ASSERT_GE(s, 0);
  SendAll(s, "GET /" + std::string(9000, 'a') + " HTTP/1.1\r\n\r\n");
  const std::string answer = ReadToEnd(s);
  ::close(s);
  EXPECT_EQ(answer.rfind("HTTP/1.1 431 ", 0), 0u) << answer.substr(0, 200);
}

TEST_F(HttpServerTest, IdleAndTricklingClientsDoNotKeepAScrapeFromBeingServed) {
  HttpLimits limits;
  limits.maxConnections = 16;
  limits.readTimeoutMs = 1500;
  limits.idleTimeoutMs = 1500;
  start(limits);

  // One client sends its head a byte at a time, each within the read
  // time-out, the whole of it never.
  const int slow = Connect(port);
  ASSERT_GE(slow, 0);
  std::atomic<bool> trickling = true;
  std::thread trickle([&] {
    const std::string head = "GET /metrics HTTP/1.1\r\nHost: a\r\nX-Long: " + std::string(8000, 'x');
    for (std::size_t k = 0; k < head.size() && trickling; ++k) {
      if (::send(slow, &head[k], 1, MSG_NOSIGNAL) != 1) break;
      std::this_thread::sleep_for(50ms);
    }
  });
  // Far more idle connections than the bound.
  std::vector<int> idle;
  for (int k = 0; k < 200; ++k) {
    const int s = Connect(port);
    if (s >= 0) idle.push_back(s);
  }
  ASSERT_EQ(idle.size(), 200u);

  // Those beyond the bound are told so at once and closed.
  const std::string told = ReadToEnd(idle.back(), 10s);
  EXPECT_EQ(told.rfind("HTTP/1.1 503 Service Unavailable\r\n", 0), 0u) << told;
  // The trickling client is cut off once its read time-out has passed.
  EXPECT_TRUE(ClosedWithin(slow, 20s)) << "a client sending a byte at a time holds its connection";
  // And a scrape is served once the idle ones have had their time.
  EXPECT_TRUE(scrapeWithin(30s));

  trickling = false;
  trickle.join();
  ::close(slow);
  auto stopped = std::async(std::launch::async, [&] { server->stop(); });
  EXPECT_EQ(stopped.wait_for(30s), std::future_status::ready) << "stop() hangs on idle connections";
  for (int s : idle) ::close(s);
}

TEST_F(HttpServerTest, IdleConnectionsWithinTheBoundDoNotDelayAScrape) {
  HttpLimits limits;
  limits.maxConnections = 64;
  limits.readTimeoutMs = 120'000;  // far beyond the client's own patience
  limits.idleTimeoutMs = 120'000;
  start(limits);
  std::vector<int> idle;
  for (int k = 0; k < 50; ++k) idle.push_back(Connect(port));
  // Each connection has its thread: none waits for another's time-out.
  for (int k = 0; k < 5; ++k) {
    auto r = get("/metrics");
    ASSERT_TRUE(r) << httplib::to_string(r.error());
    EXPECT_EQ(r->status, 200);
  }
  server->stop();
  for (int s : idle) ::close(s);
}

TEST_F(HttpServerTest, StopWakesIdleConnectionsAndWaitsForTheHandler) {
  std::mutex m;
  std::condition_variable cv;
  bool entered = false, release = false;
  std::atomic<bool> finished = false;
  HttpLimits limits;
  limits.readTimeoutMs = 120'000;  // stop() must not wait for these
  limits.idleTimeoutMs = 120'000;
  start(limits, [&](const HttpRequest& r) {
    if (r.path == "/slow") {
      std::unique_lock lock(m);
      entered = true;
      cv.notify_all();
      cv.wait_for(lock, 60s, [&] { return release; });
      finished = true;
    }
    return Echo(r);
  });
  std::vector<int> idle;
  for (int k = 0; k < 10; ++k) idle.push_back(Connect(port));
  auto slowAnswer = std::async(std::launch::async, [&] { return get("/slow"); });
  {
    std::unique_lock lock(m);
    ASSERT_TRUE(cv.wait_for(lock, 20s, [&] { return entered; }));
  }
  bool finishedWhenStopped = false;
  auto stopped = std::async(std::launch::async, [&] {
    server->stop();
    finishedWhenStopped = finished;
  });
  EXPECT_NE(stopped.wait_for(200ms), std::future_status::ready) << "stop() returned while a handler ran";
  {
    std::lock_guard lock(m);
    release = true;
  }
  cv.notify_all();
  ASSERT_EQ(stopped.wait_for(30s), std::future_status::ready);
  EXPECT_TRUE(finishedWhenStopped);
  for (int s : idle) {
    EXPECT_TRUE(ClosedWithin(s, 1s));
    ::close(s);
  }
  slowAnswer.wait();
}

}  // namespace
}  // namespace sondrel
