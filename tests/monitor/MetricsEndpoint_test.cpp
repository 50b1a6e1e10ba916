// The endpoint on the real HTTP server: what each path and method gives, the
// format the Accept header asks for, and a real Prometheus server (from the
// set-up's prometheus package) scraping it on loopback and storing what it
// read.
#include "monitor/MetricsEndpoint.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <mutex>
#include <thread>

#include "monitor/MetricsTestSupport.h"
#include "platform/HttpServer_linux.h"
#include "support/FreePort.h"
#include "support/SkipMissing.h"

extern char** environ;

namespace sondrel {
namespace {

using namespace std::chrono_literals;
using testing::HandRun;

// The real server, telling the test what each request asked for and what
// its answer was.
class WatchedServer final : public IHttpServer {
 public:
  struct Seen {
    std::string path, accept, contentType;
  };
  Result<void> listen(const std::string& address, std::uint16_t port, HttpHandler handler) override {
    return real_->listen(address, port, [this, handler = std::move(handler)](const HttpRequest& r) {
      HttpResponse answer = handler(r);
      std::lock_guard lock(mutex_);
      seen_.push_back({r.path, r.accept, answer.contentType});
      return answer;
    });
  }
  std::uint16_t port() const override { return real_->port(); }
  void stop() override { real_->stop(); }
  std::vector<Seen> seen() const {
    std::lock_guard lock(mutex_);
    return seen_;
  }

 private:
  std::unique_ptr<IHttpServer> real_ = MakeHttpServer();
  mutable std::mutex mutex_;
  std::vector<Seen> seen_;
};

class MetricsEndpointTest : public ::testing::Test {
 protected:
  void SetUp() override {
    run.start(collector);
    for (int p = 0; p < 5; ++p) {
      run.result(collector, 0, 420 + p, p * 1'000'000);
      run.result(collector, 1, p < 2 ? 2'000 : -1, p * 1'000'000 + 10);
      run.result(collector, 2, 900, p * 1'000'000 + 20);
      collector.passEnded();
    }
    const auto started = endpoint.start({"127.0.0.1", 0});
    ASSERT_TRUE(started) << started.error().message;
    ASSERT_NE(endpoint.port(), 0);
  }
  httplib::Client client() {
    httplib::Client c("127.0.0.1", endpoint.port());
    c.set_read_timeout(10s);
    return c;
  }

  MetricsCollector collector;
  HandRun run{{"127.0.0.1", "127.0.0.2", "127.0.0.3"}, {"loop / 127.0.0.1", "new\nline", "quote\" \xff"}};
  WatchedServer server;
  MetricsEndpoint endpoint{collector, server};
};

TEST_F(MetricsEndpointTest, MetricsInTheFormatAskedFor) {
  auto c = client();
  auto text = c.Get("/metrics");
  ASSERT_TRUE(text) << httplib::to_string(text.error());
  EXPECT_EQ(text->status, 200);
  EXPECT_EQ(text->get_header_value("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
  EXPECT_EQ(text->body, collector.scrape(ExpositionFormat::Text));
  EXPECT_NE(text->body.find("smokeping_requests_total{host=\"loop\",ip=\"127.0.0.1\"} 5\n"), std::string::npos);

  auto om = c.Get("/metrics", {{"Accept", "application/openmetrics-text;version=1.0.0,text/plain;q=0.5"}});
  ASSERT_TRUE(om);
  EXPECT_EQ(om->get_header_value("Content-Type"), "application/openmetrics-text; version=1.0.0; charset=utf-8");
  EXPECT_EQ(om->body, collector.scrape(ExpositionFormat::OpenMetrics));
  ASSERT_GE(om->body.size(), 6u);
  EXPECT_EQ(om->body.substr(om->body.size() - 6), "# EOF\n");

  auto head = c.Head("/metrics");
  ASSERT_TRUE(head);
  EXPECT_EQ(head->status, 200);
  EXPECT_EQ(head->body, "");
  EXPECT_EQ(head->get_header_value("Content-Length"), std::to_string(text->body.size()));
}

TEST_F(MetricsEndpointTest, APageLinksTheMetricsAndAnythingElseIsRefused) {
  auto c = client();
  auto page = c.Get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_NE(page->body.find("<a href=\"/metrics\">"), std::string::npos) << page->body;

  for (const char* path : {"/nothing", "/metrics/", "/metricsx", "//metrics"}) {
    auto r = c.Get(path);
    ASSERT_TRUE(r) << path;
    EXPECT_EQ(r->status, 404) << path;
  }
  auto post = c.Post("/metrics", "x=1", "application/x-www-form-urlencoded");
  ASSERT_TRUE(post);
  EXPECT_EQ(post->status, 405);
  EXPECT_EQ(post->get_header_value("Allow"), "GET, HEAD");
  auto del = c.Delete("/");
  ASSERT_TRUE(del);
  EXPECT_EQ(del->status, 405);
  auto postElsewhere = c.Post("/elsewhere", "", "text/plain");
  ASSERT_TRUE(postElsewhere);
  EXPECT_EQ(postElsewhere->status, 404);
  // The query is not part of the path.
  auto query = c.Get("/metrics?name[]=smokeping_requests_total");
  ASSERT_TRUE(query);
  EXPECT_EQ(query->status, 200);
}

TEST_F(MetricsEndpointTest, StopEndsTheServing) {
  endpoint.stop();
  EXPECT_EQ(endpoint.port(), 0);
  EXPECT_FALSE(client().Get("/metrics"));
}

// One value of a PromQL query as Prometheus' API answers it, "" while it has none.
std::string QueryValue(httplib::Client& api, const std::string& query) {
  auto r = api.Get("/api/v1/query", httplib::Params{{"query", query}}, httplib::Headers{});
  if (!r || r->status != 200) return {};
  const std::size_t at = r->body.find("\"value\":[");
  if (at == std::string::npos) return {};
  const std::size_t open = r->body.find(",\"", at), close = r->body.find("\"]", at);
  if (open == std::string::npos || close == std::string::npos || close < open) return {};
  return r->body.substr(open + 2, close - open - 2);
}

TEST_F(MetricsEndpointTest, ARealPrometheusScrapesAndStoresTheFigures) {
  if (std::system("command -v prometheus >/dev/null 2>&1") != 0)
    SONDREL_SKIP_MISSING("prometheus is not installed (Debian package prometheus)");
  char dir[] = "/tmp/sondrel-prometheus-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string folder = dir;
  std::ofstream(folder + "/prometheus.yml") << "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                                               "scrape_configs:\n  - job_name: sondrel\n    static_configs:\n"
                                               "      - targets: ['127.0.0.1:"
                                            << endpoint.port() << "']\n";
  const std::uint16_t apiPort = testing::FreePort();
  const std::string config = "--config.file=" + folder + "/prometheus.yml";
  const std::string storage = "--storage.tsdb.path=" + folder + "/data";
  const std::string web = "--web.listen-address=127.0.0.1:" + std::to_string(apiPort);
  const std::string logFile = folder + "/log";
  std::vector<std::string> args = {"prometheus", config, storage, web, "--log.level=warn"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&files, 1, 2);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawnp(&pid, "prometheus", &files, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&files);

  httplib::Client api("127.0.0.1", apiPort);
  api.set_read_timeout(5s);
  std::string requests;
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (requests.empty() && std::chrono::steady_clock::now() < deadline) {
    requests = QueryValue(api, "smokeping_requests_total{ip=\"127.0.0.1\"}");
    if (requests.empty()) std::this_thread::sleep_for(200ms);  // its next scrape, a second apart
  }
  std::string targets;
  if (auto t = api.Get("/api/v1/targets")) targets = t->body;
  const std::string down = QueryValue(api, "sondrel_outage_active{ip=\"127.0.0.2\"}");
  const std::string hosts = QueryValue(api, "count(smokeping_requests_total)");
  const std::string newline = QueryValue(api, "smokeping_responses_total{host=\"new\\nline\"}");
  const std::string bucket =
      QueryValue(api, "smokeping_response_duration_seconds_bucket{host=\"loop\",le=\"0.0004\"}");
  const std::string belowHalf =
      QueryValue(api, "smokeping_response_duration_seconds_bucket{host=\"loop\",le=\"0.0008\"}");
  const std::string version = QueryValue(api, "sondrel_build_info{version=\"" SONDREL_PROJECT_VERSION "\"}");

  ::kill(pid, SIGTERM);
  int status = 0;
  bool ended = false;
  for (int k = 0; k < 400 && !ended; ++k) {
    ended = ::waitpid(pid, &status, WNOHANG) == pid;
    if (!ended) std::this_thread::sleep_for(50ms);
  }
  if (!ended) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  std::ifstream logIn(logFile);
  const std::string log((std::istreambuf_iterator<char>(logIn)), {});
  std::system(("rm -rf '" + folder + "'").c_str());

  ASSERT_EQ(requests, "5") << "targets: " << targets << "\nlog: " << log;
  EXPECT_NE(targets.find("\"health\":\"up\""), std::string::npos) << targets;
  EXPECT_NE(targets.find("\"lastError\":\"\""), std::string::npos) << targets;
  EXPECT_EQ(down, "1");
  EXPECT_EQ(hosts, "3");
  EXPECT_EQ(newline, "2");
  EXPECT_EQ(bucket, "0");
  EXPECT_EQ(belowHalf, "5");
  EXPECT_EQ(version, "1");
  // It asked for OpenMetrics first, and had it.
  bool openMetrics = false;
  for (const auto& s : server.seen())
    openMetrics = openMetrics || (s.path == "/metrics" && s.contentType.rfind("application/openmetrics-text", 0) == 0);
  EXPECT_TRUE(openMetrics);
}

TEST(MetricsEndpointAnswers, WithoutAServer) {
  MetricsCollector c;
  const HttpResponse m = AnswerMetricsRequest(c, {"GET", "/metrics", "application/openmetrics-text"});
  EXPECT_EQ(m.status, 200);
  EXPECT_EQ(m.body, c.scrape(ExpositionFormat::OpenMetrics));
  EXPECT_EQ(AnswerMetricsRequest(c, {"HEAD", "/", ""}).status, 200);
  EXPECT_EQ(AnswerMetricsRequest(c, {"PUT", "/metrics", ""}).status, 405);
  EXPECT_EQ(AnswerMetricsRequest(c, {"OPTIONS", "/", ""}).status, 405);
  EXPECT_EQ(AnswerMetricsRequest(c, {"GET", "/favicon.ico", ""}).status, 404);
}

}  // namespace
}  // namespace sondrel
