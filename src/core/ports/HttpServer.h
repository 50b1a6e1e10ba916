#pragma once
// A small HTTP server: every request is answered by one handler, on the
// server's own threads. Request bodies are never read; a request that
// carries one is answered and its connection closed.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/common/Result.h"

namespace sondrel {

struct HttpRequest {
  std::string method;  // as sent: "GET", "HEAD", "POST", ...
  std::string path;    // decoded, without the query
  std::string accept;  // the Accept header ("" without one; several are joined with ",")
};

struct HttpResponse {
  int status = 200;
  std::string contentType;
  std::string body;  // left out of the answer to HEAD
  std::vector<std::pair<std::string, std::string>> headers;  // beyond Content-Type and Content-Length
};

using HttpHandler = std::function<HttpResponse(const HttpRequest&)>;

// What one client may take of the server.
struct HttpLimits {
  std::size_t maxHeaderBytes = 8192;  // a request's line and headers together; beyond: 431
  int readTimeoutMs = 5000;           // for a request's line and headers, from its first byte
  int writeTimeoutMs = 5000;          // for a whole answer
  int idleTimeoutMs = 5000;           // a kept-alive connection waits this long for its next request
  int maxRequestsPerConnection = 100;
  // Connections served at once, each on a thread of its own; one more is
  // answered 503 and closed at once.
  int maxConnections = 64;
};

class IHttpServer {
 public:
  virtual ~IHttpServer() = default;
  // Binds `address` (numeric IPv4 or IPv6, no brackets; never a name) and
  // `port` (0: any free one) and starts serving on its own threads, which
  // call `handler`. A clear error when the address is no address, the port
  // is taken, or the server already listens.
  virtual Result<void> listen(const std::string& address, std::uint16_t port, HttpHandler handler) = 0;
  // The bound port (the one chosen for port 0); 0 while not listening.
  virtual std::uint16_t port() const = 0;
  // Closes every connection and returns once no handler runs. The server
  // may listen again afterwards.
  virtual void stop() = 0;
};

}  // namespace sondrel
