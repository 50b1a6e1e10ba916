// The monitor service scraped by a real Prometheus (Debian's, started here
// with a configuration and a storage folder of its own, on loopback in the
// test's namespace): its query API answers the prober's names for every
// target, in step with the monitor's own archive; promtool finds nothing
// wrong in a scrape; hostile clients leave the pings going.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QUrlQuery>
#include <cmath>
#include <fstream>
#include <map>

#include "archive/RunArchive.h"
#include "cli/CliMonitor.h"
#include "cli/CliTestSupport.h"
#include "platform/IcmpTestSupport.h"
#include "monitor/MetricsTestSupport.h"
#include "support/FreePort.h"
#include "support/SkipMissing.h"

namespace sondrel::cli {
namespace {

constexpr int kTargets = 50;
constexpr int kIntervalMs = 200;

std::string Target(int k) { return "127.0.1." + std::to_string(k + 1); }

// GET through curl (the test's HTTP client; -g: brackets are no globs): the
// body, "" on failure.
QByteArray Get(const QString& url, const QStringList& extra = {}) {
  QProcess curl;
  curl.start(QStringLiteral("curl"), QStringList{QStringLiteral("-sfg"), QStringLiteral("--max-time"), QStringLiteral("10")} + extra + QStringList{url});
  if (!curl.waitForFinished(15000) || curl.exitCode() != 0) return {};
  return curl.readAllStandardOutput();
}

class CliMetricsLive : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::Isolated()) SONDREL_SKIP_MISSING("needs the private network namespace");
    std::string why;
    if (!SystemIcmpCarrier()->available(&why)) SONDREL_SKIP_MISSING("no ICMP socket: " << why);
    for (const char* tool : {"prometheus", "promtool", "curl"})
      if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
        SONDREL_SKIP_MISSING(tool << " is missing (apt-get install prometheus curl)");
    ASSERT_TRUE(data_.isValid() && prom_.isValid());
    std::ofstream targets(data_.path().toStdString() + "/targets.txt");
    for (int k = 0; k < kTargets; ++k) targets << Target(k) << "\n";
    targets.close();
    port_ = testing::FreePort();
    clitest::UseDataHome(monitor_, data_.path());
    monitor_.start(clitest::kProgram,
                   {QStringLiteral("monitor"), QStringLiteral("-i"), QString::number(kIntervalMs), QStringLiteral("-w"),
                    QStringLiteral("100"), QStringLiteral("--targets"), data_.path() + QStringLiteral("/targets.txt"),
                    QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port_)});
    ASSERT_TRUE(monitor_.waitForStarted(10000));
    QElapsedTimer t;
    t.start();
    while (Get(MetricsUrl()).isEmpty() && t.elapsed() < 10000) QTest::qWait(50);
    ASSERT_EQ(monitor_.state(), QProcess::Running) << monitor_.readAllStandardError().toStdString();
  }
  void TearDown() override {
    for (QProcess* p : {&prometheus_, &monitor_}) {
      if (p->state() == QProcess::NotRunning) continue;
      p->terminate();
      if (!p->waitForFinished(10000)) {
        p->kill();
        p->waitForFinished(5000);
      }
    }
  }
  QString MetricsUrl() const { return QStringLiteral("http://127.0.0.1:%1/metrics").arg(port_); }
  void StartPrometheus() {
    promPort_ = testing::FreePort();
    std::ofstream(prom_.path().toStdString() + "/prometheus.yml")
        << "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
           "scrape_configs:\n  - job_name: sondrel\n    static_configs:\n      - targets: ['127.0.0.1:"
        << port_ << "']\n";
    prometheus_.setProcessChannelMode(QProcess::MergedChannels);
    prometheus_.start(QStringLiteral("prometheus"),
                      {QStringLiteral("--config.file=") + prom_.path() + QStringLiteral("/prometheus.yml"),
                       QStringLiteral("--storage.tsdb.path=") + prom_.path() + QStringLiteral("/data"),
                       QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(promPort_)});
    ASSERT_TRUE(prometheus_.waitForStarted(10000));
  }
  // The query API's result vector, empty until it answers.
  QJsonArray Query(const QString& expression) {
    QUrl url(QStringLiteral("http://127.0.0.1:%1/api/v1/query").arg(promPort_));
    QUrlQuery q;
    q.addQueryItem(QStringLiteral("query"), expression);
    url.setQuery(q);
    const QJsonDocument doc = QJsonDocument::fromJson(Get(url.toString(QUrl::FullyEncoded)));
    return doc.object().value(QStringLiteral("data")).toObject().value(QStringLiteral("result")).toArray();
  }
  std::string Archive() const {
    return data_.path().toStdString() + "/SondrelDataBas/" + kMonitorFolder + kArchiveFile;
  }

  QTemporaryDir data_, prom_;
  QProcess monitor_, prometheus_;
  int port_ = 0, promPort_ = 0;
};

TEST_F(CliMetricsLive, PrometheusScrapesEveryTargetInStepWithTheArchiveAndItsQuantileMatchesTheRuns) {
  // promtool reads a scrape as Prometheus would and says what is wrong in it.
  const QByteArray scrape = Get(MetricsUrl());
  ASSERT_TRUE(scrape.contains("smokeping_requests_total{")) << scrape.left(400).toStdString();
  const auto verdict = testing::PromtoolCheck(scrape.toStdString());
  ASSERT_TRUE(verdict);
  EXPECT_EQ(verdict->status, 0) << verdict->output;

  StartPrometheus();
  // A few scrapes in, every target has its series.
  QJsonArray counts;
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 60000) {
    counts = Query(QStringLiteral("count_over_time(smokeping_requests_total[1m])"));
    if (counts.size() == kTargets &&
        std::all_of(counts.begin(), counts.end(), [](const QJsonValue& v) {
          return v.toObject().value(QStringLiteral("value")).toArray().at(1).toString().toDouble() >= 3;
        }))
      break;
    QTest::qWait(500);
  }
  ASSERT_EQ(counts.size(), kTargets) << prometheus_.readAll().right(2000).toStdString();

  // The newest sample of each target, and when it was scraped.
  const QJsonArray requests = Query(QStringLiteral("smokeping_requests_total"));
  ASSERT_EQ(requests.size(), kTargets);
  const QJsonArray median = Query(QStringLiteral(
      "histogram_quantile(0.5, smokeping_response_duration_seconds_bucket{ip=\"127.0.1.1\"})"));
  ASSERT_EQ(median.size(), 1);
  const double promMedianS = median.at(0).toObject().value(QStringLiteral("value")).toArray().at(1).toString().toDouble();

  monitor_.terminate();
  ASSERT_TRUE(monitor_.waitForFinished(10000));
  auto archive = RunArchive::open(SystemFiles(), Archive(), ArchiveAccess::ReadOnly);
  ASSERT_TRUE(archive) << archive.error().message;
  auto runs = archive.value()->listRuns({}, 0, 1);
  ASSERT_TRUE(runs && !runs.value().empty());
  const std::int64_t run = runs.value()[0].id;
  std::map<std::string, std::uint32_t> index;
  for (int k = 0; k < kTargets; ++k) index[Target(k)] = static_cast<std::uint32_t>(k);
  for (const QJsonValue& v : requests) {
    const QJsonObject series = v.toObject();
    const std::string ip = series.value(QStringLiteral("metric")).toObject().value(QStringLiteral("ip")).toString().toStdString();
    ASSERT_TRUE(index.count(ip)) << ip;
    EXPECT_EQ(series.value(QStringLiteral("metric")).toObject().value(QStringLiteral("host")).toString().toStdString(), ip);
    const QJsonArray sample = series.value(QStringLiteral("value")).toArray();
    // The sample Prometheus holds is its last scrape's, within a second of
    // the query; the archive's echoes sent by the query's moment are at
    // most that second's passes and the one under way beyond it.
    const double at = sample.at(0).toDouble();
    const double counted = sample.at(1).toString().toDouble();
    auto echoes = archive.value()->echoesOf(run, index[ip], 0, static_cast<std::int64_t>(at * 1e6));
    ASSERT_TRUE(echoes);
    const double kept = static_cast<double>(echoes.value().size());
    EXPECT_LE(counted, kept + 1) << ip;
    EXPECT_GE(counted, kept - 1000.0 / kIntervalMs - 2) << ip;
  }
  // The quantile from the buckets lies in the bucket of the run's own median
  // or the next one: the buckets double.
  auto echoes = archive.value()->echoesOf(run, 0, 0, INT64_MAX);
  ASSERT_TRUE(echoes);
  std::vector<std::int64_t> rtts;
  for (const ArchivedEcho& e : echoes.value())
    if (e.roundTripUs >= 0) rtts.push_back(e.roundTripUs);
  ASSERT_FALSE(rtts.empty());
  std::nth_element(rtts.begin(), rtts.begin() + static_cast<std::ptrdiff_t>(rtts.size() / 2), rtts.end());
  const double runMedianS = std::max<double>(static_cast<double>(rtts[rtts.size() / 2]), 1) / 1e6;
  EXPECT_LE(std::fabs(std::log2(promMedianS / runMedianS)), 1.0) << promMedianS << " beside " << runMedianS;
}

// Hostile clients: 100 KB of headers, a few hundred idle connections, one that
// sends a byte at a time. The pings go on meanwhile, and a scrape afterwards
// is answered.
TEST_F(CliMetricsLive, HostileClientsLeaveThePingsGoingAndAScrapeIsAnsweredAfterThem) {
  std::vector<int> idle;
  for (int k = 0; k < 300; ++k) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port_));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) idle.push_back(fd);
    else ::close(fd);
  }
  const int slow = ::socket(AF_INET, SOCK_STREAM, 0);
  {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port_));
    ASSERT_EQ(::connect(slow, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  }
  const QByteArray big = "X-Filler: " + QByteArray(100 * 1024, 'a');
  const QByteArray refused = Get(MetricsUrl(), {QStringLiteral("-H"), QString::fromLatin1(big)});
  EXPECT_TRUE(refused.isEmpty()) << "100 KB of headers are refused";
  const char* request = "GET /metrics HTTP/1.1\r\nHost: x\r\n";
  QElapsedTimer t;
  t.start();
  for (const char* c = request; *c && t.elapsed() < 3000; ++c) {
    // The server may close it first: no SIGPIPE then.
    (void)::send(slow, c, 1, MSG_NOSIGNAL);
    QTest::qWait(150);
  }
  // The monitor's passes went on: its archive has the three seconds' passes
  // give or take a few (a stalled loop would have a handful).
  for (int fd : idle) ::close(fd);
  ::close(slow);
  QByteArray after;
  t.restart();
  while (after.isEmpty() && t.elapsed() < 20000) after = Get(MetricsUrl());
  EXPECT_TRUE(after.contains("smokeping_requests_total{"));
  monitor_.terminate();
  ASSERT_TRUE(monitor_.waitForFinished(10000));
  auto archive = RunArchive::open(SystemFiles(), Archive(), ArchiveAccess::ReadOnly);
  ASSERT_TRUE(archive);
  auto runs = archive.value()->listRuns({}, 0, 1);
  ASSERT_TRUE(runs && !runs.value().empty());
  auto echoes = archive.value()->echoesOf(runs.value()[0].id, 0, 0, INT64_MAX);
  ASSERT_TRUE(echoes);
  // Longest gap between passes while the clients pressed.
  std::int64_t longest = 0;
  for (std::size_t k = 1; k < echoes.value().size(); ++k)
    longest = std::max(longest, echoes.value()[k].sentUtcUs - echoes.value()[k - 1].sentUtcUs);
  EXPECT_LT(longest, 2'000'000) << "a pass waited on a client";
}

}  // namespace
}  // namespace sondrel::cli
