// The collector's figures from runs fed result by result: counts, the
// round-trip buckets, the gauges, the outages, runs after runs, scrapes
// from another thread while results come, and Prometheus' own check of
// what it writes (of a hand-fed run with hostile names and of a real run on
// the fake carrier).
#include "monitor/MetricsCollector.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "fakes/FakeClock.h"
#include "fakes/FakeIcmpCarrier.h"
#include "fakes/FakeKeepAwake.h"
#include "fakes/FakePrompter.h"
#include "monitor/MetricsTestSupport.h"
#include "ping/PingRun.h"
#include "ping/RunLog.h"
#include "platform/Files_linux.h"
#include "support/SkipMissing.h"

namespace sondrel {
namespace {

using testing::HandRun;
using testing::Lines;
using testing::LinesOf;

std::string Text(const MetricsCollector& c) { return c.scrape(ExpositionFormat::Text); }

bool Has(const std::string& body, const std::string& line) {
  for (const std::string& l : Lines(body))
    if (l == line) return true;
  return false;
}

// The value of the one sample line that begins with `head`, -1 without one.
double ValueOf(const std::string& body, const std::string& head) {
  const auto lines = LinesOf(body, head);
  if (lines.size() != 1) return -1;
  const std::string& l = lines.front();
  double v = -1;
  const std::size_t space = l.rfind(' ');
  std::from_chars(l.data() + space + 1, l.data() + l.size(), v);
  return v;
}

TEST(MetricsCollector, BeforeAnyRunOnlyTheVersionOfTheBuild) {
  MetricsCollector c;
  // The version is the one CMake's project() gives.
  EXPECT_EQ(Text(c),
            "# HELP sondrel_build_info The program's version.\n"
            "# TYPE sondrel_build_info gauge\n"
            "sondrel_build_info{version=\"" SONDREL_PROJECT_VERSION "\"} 1\n");
  EXPECT_EQ(c.scrape(ExpositionFormat::OpenMetrics),
            "# HELP sondrel_build_info The program's version.\n"
            "# TYPE sondrel_build_info gauge\n"
            "sondrel_build_info{version=\"" SONDREL_PROJECT_VERSION "\"} 1\n"
            "# EOF\n");
}

TEST(MetricsCollector, CountsBucketsAndTheLastReply) {
  MetricsCollector c;
  HandRun run({"127.0.0.1", "127.0.0.2", "127.0.0.3"}, {"127.0.0.1", "gw / 127.0.0.2", ""});
  run.start(c);
  run.result(c, 0, 300, 0, 64);
  run.result(c, 1, -1, 10);
  run.result(c, 2, 50, 20, 128);
  c.passEnded();
  run.result(c, 0, 100, 1'000'000, 63);
  run.result(c, 1, 26'214'401, 1'000'010, 60);  // above the last bound
  run.result(c, 2, 26'214'400, 1'000'020, 127);  // on it
  c.passEnded();
  const std::string body = Text(c);
  const std::string a = "{host=\"127.0.0.1\",ip=\"127.0.0.1\"", b = "{host=\"gw\",ip=\"127.0.0.2\"",
                    d = "{host=\"127.0.0.3\",ip=\"127.0.0.3\"";

  EXPECT_TRUE(Has(body, "# TYPE smokeping_requests_total counter"));
  EXPECT_TRUE(Has(body, "smokeping_requests_total" + a + "} 2"));
  EXPECT_TRUE(Has(body, "smokeping_requests_total" + b + "} 2"));
  EXPECT_TRUE(Has(body, "smokeping_responses_total" + a + "} 2"));
  EXPECT_TRUE(Has(body, "smokeping_responses_total" + b + "} 1"));
  EXPECT_TRUE(Has(body, "# TYPE smokeping_response_duration_seconds histogram"));
  // 0.3 ms lands in le=0.0004 and above, 0.1 ms in le=0.0001 (a bound holds
  // what equals it).
  EXPECT_EQ(LinesOf(body, "smokeping_response_duration_seconds_bucket" + a),
            (std::vector<std::string>{
                "smokeping_response_duration_seconds_bucket" + a + ",le=\"5e-05\"} 0",
                "smokeping_response_duration_seconds_bucket" + a + ",le=\"0.0001\"} 1",
                "smokeping_response_duration_seconds_bucket" + a + ",le=\"0.0002\"} 1",
                "smokeping_response_duration_seconds_bucket" + a + ",le=\"0.0004\"} 2",
                "smokeping_response_duration_seconds_bucket" + a + ",le=\"0.0008\"} 2",
                "smokeping_response_duration_seconds_bucket" + a + ",le=\"0.0016\"} 2",
                "smokeping_response_duration_seconds_bucket" + a + ",le=\"0.0032\"} 2",
                "smokeping_response_duration_seconds_bucket" + a + ",le=\"0.0064\"} 2",
                "smokeping_response_duration_seconds_bucket" + a + ",le=\"0.0128\"} 2",
                "smokeping_response_duration_seconds_bucket" + a + ",le=\"0.0256\"} 2",
                "smokeping_response_duration_seconds_bucket" + a + ",le=\"0.0512\"} 2",
                "smokeping_response_duration_seconds_bucket" + a + ",le=\"0.1024\"} 2",
                "smokeping_response_duration_seconds_bucket" + a + ",le=\"0.2048\"} 2",
                "smokeping_response_duration_seconds_bucket" + a + ",le=\"0.4096\"} 2",
                "smokeping_response_duration_seconds_bucket" + a + ",le=\"0.8192\"} 2",
                "smokeping_response_duration_seconds_bucket" + a + ",le=\"1.6384\"} 2",
                "smokeping_response_duration_seconds_bucket" + a + ",le=\"3.2768\"} 2",
                "smokeping_response_duration_seconds_bucket" + a + ",le=\"6.5536\"} 2",
                "smokeping_response_duration_seconds_bucket" + a + ",le=\"13.1072\"} 2",
                "smokeping_response_duration_seconds_bucket" + a + ",le=\"26.2144\"} 2",
                "smokeping_response_duration_seconds_bucket" + a + ",le=\"+Inf\"} 2",
            }));
  EXPECT_TRUE(Has(body, "smokeping_response_duration_seconds_sum" + a + "} 0.0004"));
  EXPECT_TRUE(Has(body, "smokeping_response_duration_seconds_count" + a + "} 2"));
  EXPECT_TRUE(Has(body, "smokeping_response_duration_seconds_bucket" + b + ",le=\"26.2144\"} 0"));
  EXPECT_TRUE(Has(body, "smokeping_response_duration_seconds_bucket" + b + ",le=\"+Inf\"} 1"));
  EXPECT_TRUE(Has(body, "smokeping_response_duration_seconds_sum" + b + "} 26.214401"));
  EXPECT_TRUE(Has(body, "smokeping_response_duration_seconds_bucket" + d + ",le=\"5e-05\"} 1"));
  EXPECT_TRUE(Has(body, "smokeping_response_duration_seconds_bucket" + d + ",le=\"13.1072\"} 1"));
  EXPECT_TRUE(Has(body, "smokeping_response_duration_seconds_bucket" + d + ",le=\"26.2144\"} 2"));
  EXPECT_TRUE(Has(body, "smokeping_response_duration_seconds_sum" + d + "} 26.21445"));

  EXPECT_TRUE(Has(body, "smokeping_response_ttl" + a + "} 63"));
  EXPECT_TRUE(Has(body, "smokeping_response_ttl" + b + "} 60"));
  EXPECT_TRUE(Has(body, "sondrel_last_rtt_seconds" + a + "} 0.0001"));
  EXPECT_TRUE(Has(body, "sondrel_last_rtt_seconds" + b + "} 26.214401"));
  EXPECT_TRUE(Has(body, "sondrel_outage_active" + b + "} 0"));
  EXPECT_TRUE(Has(body, "sondrel_outages_total" + b + "} 0"));
  EXPECT_TRUE(Has(body, "sondrel_outage_seconds_total" + b + "} 0"));
}

TEST(MetricsCollector, AGaugeOfTheLastReplyWaitsForOne) {
  MetricsCollector c;
  HandRun run({"127.0.0.1"}, {"127.0.0.1"});
  run.start(c);
  run.result(c, 0, -1, 0);
  c.passEnded();
  const std::string body = Text(c);
  EXPECT_TRUE(Has(body, "smokeping_requests_total{host=\"127.0.0.1\",ip=\"127.0.0.1\"} 1"));
  EXPECT_TRUE(LinesOf(body, "smokeping_response_ttl").empty()) << body;
  EXPECT_TRUE(LinesOf(body, "sondrel_last_rtt_seconds").empty()) << body;
}

TEST(MetricsCollector, FiguresArePublishedAtEachPassEnd) {
  MetricsCollector c;
  HandRun run({"127.0.0.1", "127.0.0.2"}, {"", ""});
  run.start(c);
  const std::string head = "smokeping_requests_total{host=\"127.0.0.1\",ip=\"127.0.0.1\"}";
  EXPECT_EQ(ValueOf(Text(c), head), 0);
  run.result(c, 0, 1000, 0);
  EXPECT_EQ(ValueOf(Text(c), head), 0) << "a pass is seen whole";
  run.result(c, 1, 1000, 10);
  c.passEnded();
  EXPECT_EQ(ValueOf(Text(c), head), 1);
}

TEST(MetricsCollector, OutagesAsTheEchoesSendTimesMeasureThem) {
  MetricsCollector c(3);
  HandRun run({"127.0.0.1"}, {"r"});
  run.start(c);
  const std::string l = "{host=\"r\",ip=\"127.0.0.1\"}";
  struct Step {
    bool replied;
    int active, outages;
    double seconds;
  };
  // An echo every 1.5 s: three lost make an outage from the first of them
  // to the next reply; two lost are loss only.
  const Step steps[] = {
      {true, 0, 0, 0},  {false, 0, 0, 0}, {false, 0, 0, 0},  {false, 1, 1, 3},   {false, 1, 1, 4.5},
      {true, 0, 1, 6},  {false, 0, 1, 6}, {false, 0, 1, 6},  {true, 0, 1, 6},    {false, 0, 1, 6},
      {false, 0, 1, 6}, {false, 1, 2, 9}, {false, 1, 2, 10.5},
  };
  for (std::size_t k = 0; k < std::size(steps); ++k) {
    SCOPED_TRACE(k);
    run.result(c, 0, steps[k].replied ? 2000 : -1, static_cast<std::int64_t>(k) * 1'500'000);
    c.passEnded();
    const std::string body = Text(c);
    EXPECT_EQ(ValueOf(body, "sondrel_outage_active" + l), steps[k].active);
    EXPECT_EQ(ValueOf(body, "sondrel_outages_total" + l), steps[k].outages);
    EXPECT_EQ(ValueOf(body, "sondrel_outage_seconds_total" + l), steps[k].seconds);
  }
  // The run's end closes the outage at its last echo: nothing goes back.
  run.end(c);
  const std::string body = Text(c);
  EXPECT_TRUE(Has(body, "sondrel_outage_active" + l + " 0"));
  EXPECT_TRUE(Has(body, "sondrel_outages_total" + l + " 2"));
  EXPECT_TRUE(Has(body, "sondrel_outage_seconds_total" + l + " 10.5"));
  EXPECT_TRUE(Has(body, "# HELP sondrel_outages_total Outages of the target: 3 or more echoes lost in a row."));
}

TEST(MetricsCollector, TheThresholdIsTheCallers) {
  MetricsCollector five(5), one(1);
  HandRun run({"127.0.0.1"}, {""});
  run.start(five);
  run.start(one);
  for (int k = 0; k < 4; ++k) {
    run.result(five, 0, -1, k * 1'000'000);
    run.result(one, 0, -1, k * 1'000'000);
  }
  five.passEnded();
  one.passEnded();
  const std::string l = "{host=\"127.0.0.1\",ip=\"127.0.0.1\"}";
  EXPECT_EQ(ValueOf(Text(five), "sondrel_outages_total" + l), 0);
  EXPECT_EQ(ValueOf(Text(one), "sondrel_outages_total" + l), 1);
  EXPECT_EQ(ValueOf(Text(one), "sondrel_outage_seconds_total" + l), 3);
}

TEST(MetricsCollector, CountersGoOnAcrossRunsAndAScrapeShowsTheRunsTargets) {
  MetricsCollector c;
  const std::string a = "{host=\"a\",ip=\"127.0.0.1\"}", b = "{host=\"127.0.0.2\",ip=\"127.0.0.2\"}",
                    d = "{host=\"d\",ip=\"127.0.0.4\"}";
  HandRun first({"127.0.0.1", "127.0.0.2"}, {"a", ""});
  first.start(c);
  for (int k = 0; k < 4; ++k) {
    first.result(c, 0, k < 1 ? 1000 : -1, k * 1'000'000, 50);  // an outage from the second echo on
    first.result(c, 1, 2000, k * 1'000'000 + 10);
    c.passEnded();
  }
  first.end(c);
  std::string body = Text(c);  // kept after the end
  EXPECT_EQ(ValueOf(body, "smokeping_requests_total" + a), 4);
  EXPECT_EQ(ValueOf(body, "sondrel_outage_seconds_total" + a), 2);
  EXPECT_EQ(ValueOf(body, "sondrel_outage_active" + a), 0);

  HandRun second({"127.0.0.4", "127.0.0.1"}, {"d", "a"});
  second.start(c);
  body = Text(c);
  EXPECT_EQ(ValueOf(body, "smokeping_requests_total" + a), 4);
  EXPECT_EQ(ValueOf(body, "smokeping_requests_total" + d), 0);
  EXPECT_EQ(ValueOf(body, "smokeping_response_ttl" + a), 50) << "the last reply known";
  EXPECT_TRUE(LinesOf(body, "smokeping_requests_total" + b).empty()) << "a target of the run before";
  second.result(c, 0, 1000, 0);
  second.result(c, 1, 3000, 10, 51);
  c.passEnded();
  second.result(c, 0, -1, 1'000'000);
  second.result(c, 1, -1, 1'000'010);
  c.passEnded();
  body = Text(c);
  EXPECT_EQ(ValueOf(body, "smokeping_requests_total" + a), 6);
  EXPECT_EQ(ValueOf(body, "smokeping_responses_total" + a), 2);
  EXPECT_EQ(ValueOf(body, "smokeping_response_duration_seconds_count" + a), 2);
  EXPECT_EQ(ValueOf(body, "smokeping_response_duration_seconds_sum" + a), 0.004);
  EXPECT_EQ(ValueOf(body, "smokeping_response_ttl" + a), 51);
  EXPECT_EQ(ValueOf(body, "sondrel_outages_total" + a), 1);
  EXPECT_EQ(ValueOf(body, "sondrel_outage_seconds_total" + a), 2);
  EXPECT_EQ(ValueOf(body, "smokeping_requests_total" + d), 2);
  // The series are in the run's order of its targets.
  const auto requests = LinesOf(body, "smokeping_requests_total{");
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], "smokeping_requests_total" + d + " 2");

  // A target back after a run without it goes on from its figures.
  HandRun third({"127.0.0.2"}, {""});
  third.start(c);
  third.result(c, 0, 2000, 0);
  c.passEnded();
  EXPECT_EQ(ValueOf(Text(c), "smokeping_requests_total" + b), 5);
}

TEST(MetricsCollector, ATargetGivenTwiceUnderOneNameIsOneSeries) {
  MetricsCollector c;
  HandRun run({"127.0.0.1", "127.0.0.1", "127.0.0.1"}, {"x", "x", "y"});
  run.start(c);
  run.result(c, 0, 1000, 0, 10);
  run.result(c, 1, 2000, 5, 20);
  run.result(c, 2, -1, 7);
  c.passEnded();
  const std::string body = Text(c);
  EXPECT_EQ(LinesOf(body, "smokeping_requests_total{").size(), 2u);
  EXPECT_EQ(ValueOf(body, "smokeping_requests_total{host=\"x\",ip=\"127.0.0.1\"}"), 2);
  EXPECT_EQ(ValueOf(body, "smokeping_response_ttl{host=\"x\",ip=\"127.0.0.1\"}"), 20) << "the later reply";
  EXPECT_EQ(ValueOf(body, "smokeping_requests_total{host=\"y\",ip=\"127.0.0.1\"}"), 1);
}

TEST(MetricsCollector, TheHostIsTheTargetAsGiven) {
  EXPECT_EQ(MetricsHostOf("router.lan / 192.168.1.1", "192.168.1.1"), "router.lan");
  EXPECT_EQ(MetricsHostOf("", "10.0.0.1"), "10.0.0.1");
  EXPECT_EQ(MetricsHostOf("10.0.0.1", "10.0.0.1"), "10.0.0.1");
  EXPECT_EQ(MetricsHostOf("name / 10.0.0.2", "10.0.0.1"), "name / 10.0.0.2");
  EXPECT_EQ(MetricsHostOf(" / 10.0.0.1", "10.0.0.1"), " / 10.0.0.1");
}

TEST(MetricsCollector, ScrapesFromAnotherThreadSeeFiguresOnlyGrow) {
  MetricsCollector c;
  constexpr int kTargets = 50, kPasses = 2000;
  std::vector<std::string> addresses;
  for (int t = 0; t < kTargets; ++t) addresses.push_back("127.0.1." + std::to_string(t + 1));
  std::atomic<bool> done = false;
  std::mutex m;
  std::condition_variable scraped;
  int scrapes = 0;
  std::string fault;
  std::thread scraper([&] {
    double last = 0;
    // Bounded: the feeding ends, and with it the loop.
    for (int k = 0; !done; ++k) {
      const std::string body = (k % 2) ? c.scrape(ExpositionFormat::OpenMetrics) : Text(c);
      double sent = 0, replies = 0;
      for (const std::string& l : LinesOf(body, "smokeping_requests_total{")) sent += std::stod(l.substr(l.rfind(' ')));
      for (const std::string& l : LinesOf(body, "smokeping_responses_total{")) replies += std::stod(l.substr(l.rfind(' ')));
      std::lock_guard lock(m);
      if (sent < last) fault = "requests went back from " + std::to_string(last) + " to " + std::to_string(sent);
      if (replies > sent) fault = "more replies than requests";
      if (sent != 0 && static_cast<long long>(sent) % kTargets != 0) fault = "a pass seen in part: " + std::to_string(sent);
      last = sent;
      ++scrapes;
      scraped.notify_all();
    }
  });
  // The feeding waits for a scrape now and then, so that the two overlap
  // however the machine shares its time.
  const auto awaitScrape = [&] {
    std::unique_lock lock(m);
    const int before = scrapes;
    return scraped.wait_for(lock, std::chrono::seconds(20), [&] { return scrapes > before; });
  };
  // Two runs of the same targets, so that the second starts while scrapes go.
  for (int r = 0; r < 2; ++r) {
    HandRun run(addresses, std::vector<std::string>(kTargets));
    run.start(c);
    for (int p = 0; p < kPasses; ++p) {
      for (int t = 0; t < kTargets; ++t)
        run.result(c, static_cast<std::uint32_t>(t), (p + t) % 7 ? 100 + p : -1, p * 1'000'000 + t);
      c.passEnded();
      if (p % 500 == 0) EXPECT_TRUE(awaitScrape());
    }
    run.end(c);
  }
  EXPECT_TRUE(awaitScrape());
  done = true;
  scraper.join();
  EXPECT_EQ(fault, "");
  EXPECT_GE(scrapes, 9);
  EXPECT_EQ(ValueOf(Text(c), "smokeping_requests_total{host=\"127.0.1.1\",ip=\"127.0.1.1\"}"), 2 * kPasses);
}

TEST(MetricsCollector, PromtoolFindsNoProblemInAHostileScrape) {
  MetricsCollector c;
  HandRun run({"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4"},
              {"quote\" back\\slash / 127.0.0.1", "new\nline", "bad\xff\xfe utf8", ""});
  run.start(c);
  for (int p = 0; p < 5; ++p) {
    for (std::uint32_t t = 0; t < 4; ++t) run.result(c, t, t == 3 ? -1 : 300 + 1000 * p, p * 1'000'000 + t);
    c.passEnded();
  }
  const std::string body = Text(c);
  const auto verdict = testing::PromtoolCheck(body);
  if (!verdict) SONDREL_SKIP_MISSING("promtool is not installed (Debian package prometheus)");
  EXPECT_EQ(verdict->status, 0) << verdict->output << "\n" << body;
  EXPECT_EQ(verdict->output, "");
  // Each label value stays on its line.
  EXPECT_EQ(LinesOf(body, "smokeping_requests_total{").size(), 4u);
  EXPECT_TRUE(Has(body, "smokeping_requests_total{host=\"quote\\\" back\\\\slash\",ip=\"127.0.0.1\"} 5"));
  EXPECT_TRUE(Has(body, "smokeping_requests_total{host=\"new\\nline\",ip=\"127.0.0.2\"} 5"));
  EXPECT_TRUE(Has(body, "smokeping_requests_total{host=\"bad\xEF\xBF\xBD\xEF\xBF\xBD utf8\",ip=\"127.0.0.3\"} 5"));
}

TEST(MetricsCollector, PromtoolFindsNoProblemInARealRunsScrape) {
  QTemporaryDir dir;
  auto clock = std::make_shared<fakes::FakeClock>();
  auto icmp = std::make_shared<fakes::FakeIcmpCarrier>();
  auto prompter = std::make_shared<fakes::FakePrompter>();
  auto awake = std::make_shared<fakes::FakeKeepAwake>();
  icmp->script("127.0.0.1", {0, 15'300, 64});
  icmp->script("127.0.0.2", {0, 480, 60});
  PingParameters params;
  params.intervalMs = 5;
  params.pingsPerTarget = 6;
  RunLog log(dir.path().toStdString() + "/", SystemFiles());
  PingRun run(PingRunServices{clock, icmp, prompter, awake}, params, log);
  run.setTargetSource([] {
    RunTargets t;
    t.addresses = {"127.0.0.1", "127.0.0.2", "127.0.0.3"};
    t.labels = {"loop \"one\" / 127.0.0.1", "127.0.0.2", "127.0.0.3"};
    return t;
  });
  MetricsCollector c;
  run.addReader(&c);
  QSignalSpy finished(&run, &PingRun::finished);
  run.setParameters(params);
  run.StartPingTest();
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 20000));
  run.removeReader(&c);

  const std::string body = Text(c);
  EXPECT_TRUE(Has(body, "smokeping_requests_total{host=\"loop \\\"one\\\"\",ip=\"127.0.0.1\"} 6")) << body;
  EXPECT_TRUE(Has(body, "smokeping_responses_total{host=\"127.0.0.3\",ip=\"127.0.0.3\"} 0")) << body;
  EXPECT_TRUE(Has(body, "smokeping_response_duration_seconds_bucket{host=\"127.0.0.2\",ip=\"127.0.0.2\","
                        "le=\"0.0004\"} 0"));
  EXPECT_TRUE(Has(body, "smokeping_response_duration_seconds_bucket{host=\"127.0.0.2\",ip=\"127.0.0.2\","
                        "le=\"0.0008\"} 6"));
  EXPECT_TRUE(Has(body, "sondrel_outages_total{host=\"127.0.0.3\",ip=\"127.0.0.3\"} 1"));
  EXPECT_TRUE(Has(body, "sondrel_outage_active{host=\"127.0.0.3\",ip=\"127.0.0.3\"} 0")) << "closed at the end";
  const auto verdict = testing::PromtoolCheck(body);
  if (!verdict) SONDREL_SKIP_MISSING("promtool is not installed (Debian package prometheus)");
  EXPECT_EQ(verdict->status, 0) << verdict->output << "\n" << body;
  EXPECT_EQ(verdict->output, "");
}

}  // namespace
}  // namespace sondrel
