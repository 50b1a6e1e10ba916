#pragma once
// A collector's figures over HTTP: GET /metrics (OpenMetrics when the
// scraper's Accept header asks for it, else the text format 0.0.4), GET / a
// short page linking there, HEAD of both; any other path is 404, any other
// method 405.

#include <cstdint>

#include "core/common/Result.h"
#include "core/monitor/ListenAddress.h"
#include "core/ports/HttpServer.h"
#include "monitor/MetricsCollector.h"

namespace sondrel {

// The answer to one request, as the endpoint serves it.
HttpResponse AnswerMetricsRequest(const MetricsCollector& collector, const HttpRequest& request);

class MetricsEndpoint {
 public:
  // Both must outlive the endpoint.
  MetricsEndpoint(const MetricsCollector& collector, IHttpServer& server);
  ~MetricsEndpoint();
  MetricsEndpoint(const MetricsEndpoint&) = delete;
  MetricsEndpoint& operator=(const MetricsEndpoint&) = delete;

  // Serves on `where` until stop(); the server's error when it cannot listen
  // there. The caller warns when the address is not a loopback one
  // (IsLoopbackAddress): the figures name the targets.
  Result<void> start(const ListenAddress& where);
  // Returns once no request is being answered.
  void stop();
  // The port served (the one chosen for port 0); 0 while stopped.
  std::uint16_t port() const;

 private:
  const MetricsCollector& collector_;
  IHttpServer& server_;
};

}  // namespace sondrel
