#include "monitor/MetricsEndpoint.h"

namespace sondrel {
namespace {

constexpr char kTextType[] = "text/plain; charset=utf-8";

constexpr char kFrontPage[] =
    "<!DOCTYPE html>\n"
    "<html><head><meta charset=\"utf-8\"><title>Sondrel metrics</title></head>\n"
    "<body><h1>Sondrel metrics</h1><p><a href=\"/metrics\">Metrics</a></p></body></html>\n";

}  // namespace

HttpResponse AnswerMetricsRequest(const MetricsCollector& collector, const HttpRequest& request) {
  const bool known = request.path == "/metrics" || request.path == "/";
  if (request.method != "GET" && request.method != "HEAD") {
    if (!known) return {404, kTextType, "Not Found\n", {}};
    return {405, kTextType, "Method Not Allowed\n", {{"Allow", "GET, HEAD"}}};
  }
  if (request.path == "/metrics") {
    const ExpositionFormat format = NegotiateExposition(request.accept);
    return {200, std::string(ExpositionContentType(format)), collector.scrape(format), {}};
  }
  if (request.path == "/") return {200, "text/html; charset=utf-8", kFrontPage, {}};
  return {404, kTextType, "Not Found\n", {}};
}

MetricsEndpoint::MetricsEndpoint(const MetricsCollector& collector, IHttpServer& server)
    : collector_(collector), server_(server) {}

MetricsEndpoint::~MetricsEndpoint() { stop(); }

Result<void> MetricsEndpoint::start(const ListenAddress& where) {
  return server_.listen(where.address, where.port,
                        [this](const HttpRequest& request) { return AnswerMetricsRequest(collector_, request); });
}

void MetricsEndpoint::stop() { server_.stop(); }

std::uint16_t MetricsEndpoint::port() const { return server_.port(); }

}  // namespace sondrel
