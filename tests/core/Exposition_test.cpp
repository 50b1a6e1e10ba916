// The scrape body in both formats, for figures made by hand, with the
// expected text written out in full; label values and help texts that try
// to break their line; the numbers; the format a scraper's Accept header
// picks.
#include "core/monitor/Exposition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace sondrel {
namespace {

std::vector<MetricFamily> SmallSet() {
  std::vector<MetricFamily> f(4);
  f[0].name = "demo_requests";
  f[0].help = "Requests sent.";
  f[0].kind = MetricKind::Counter;
  f[0].series.push_back({{{"host", "a"}, {"ip", "127.0.0.1"}}, 3, {}, 0, 0});
  f[0].series.push_back({{{"host", "b \"q\" \\ \nc"}, {"ip", "127.0.0.2"}}, 0, {}, 0, 0});
  f[1].name = "demo_ttl";
  f[1].help = "Last TTL.";
  f[1].series.push_back({{{"ip", "127.0.0.1"}}, 64, {}, 0, 0});
  f[2].name = "demo_seconds";
  f[2].help = "Round trips.";
  f[2].kind = MetricKind::Histogram;
  f[2].bounds = {0.00005, 0.0001, 0.5, 1};
  f[2].series.push_back({{{"ip", "127.0.0.1"}}, 0, {1, 0, 2, 0}, 4, 1.25});
  f[3].name = "demo_up";
  f[3].help = "Say \"hi\" \\ now\nplease";
  f[3].series.push_back({{}, 1, {}, 0, 0});
  return f;
}

// The lines of the set that the two formats write alike.
const std::string kSamplesBothWrite =
    "demo_requests_total{host=\"a\",ip=\"127.0.0.1\"} 3\n"
    "demo_requests_total{host=\"b \\\"q\\\" \\\\ \\nc\",ip=\"127.0.0.2\"} 0\n"
    "# HELP demo_ttl Last TTL.\n"
    "# TYPE demo_ttl gauge\n"
    "demo_ttl{ip=\"127.0.0.1\"} 64\n"
    "# HELP demo_seconds Round trips.\n"
    "# TYPE demo_seconds histogram\n"
    "demo_seconds_bucket{ip=\"127.0.0.1\",le=\"5e-05\"} 1\n"
    "demo_seconds_bucket{ip=\"127.0.0.1\",le=\"0.0001\"} 1\n"
    "demo_seconds_bucket{ip=\"127.0.0.1\",le=\"0.5\"} 3\n";

TEST(Exposition, TextFormatOfASmallSet) {
  EXPECT_EQ(RenderExposition(SmallSet(), ExpositionFormat::Text),
            "# HELP demo_requests_total Requests sent.\n"
            "# TYPE demo_requests_total counter\n" +
            kSamplesBothWrite +
            "demo_seconds_bucket{ip=\"127.0.0.1\",le=\"1\"} 3\n"
            "demo_seconds_bucket{ip=\"127.0.0.1\",le=\"+Inf\"} 4\n"
            "demo_seconds_sum{ip=\"127.0.0.1\"} 1.25\n"
            "demo_seconds_count{ip=\"127.0.0.1\"} 4\n"
            "# HELP demo_up Say \"hi\" \\\\ now\\nplease\n"
            "# TYPE demo_up gauge\n"
            "demo_up 1\n");
  EXPECT_EQ(ExpositionContentType(ExpositionFormat::Text), "text/plain; version=0.0.4; charset=utf-8");
}

TEST(Exposition, OpenMetricsOfTheSameSet) {
  // Counter families are named without "_total", the help escapes its
  // quotes, a whole bound is written as a float, and "# EOF" ends it.
  EXPECT_EQ(RenderExposition(SmallSet(), ExpositionFormat::OpenMetrics),
            "# HELP demo_requests Requests sent.\n"
            "# TYPE demo_requests counter\n" +
            kSamplesBothWrite +
            "demo_seconds_bucket{ip=\"127.0.0.1\",le=\"1.0\"} 3\n"
            "demo_seconds_bucket{ip=\"127.0.0.1\",le=\"+Inf\"} 4\n"
            "demo_seconds_sum{ip=\"127.0.0.1\"} 1.25\n"
            "demo_seconds_count{ip=\"127.0.0.1\"} 4\n"
            "# HELP demo_up Say \\\"hi\\\" \\\\ now\\nplease\n"
            "# TYPE demo_up gauge\n"
            "demo_up 1\n"
            "# EOF\n");
  EXPECT_EQ(ExpositionContentType(ExpositionFormat::OpenMetrics),
            "application/openmetrics-text; version=1.0.0; charset=utf-8");
  EXPECT_EQ(RenderExposition({}, ExpositionFormat::OpenMetrics), "# EOF\n");
  EXPECT_EQ(RenderExposition({}, ExpositionFormat::Text), "");
}

TEST(Exposition, HostileLabelValuesStayOnTheirLine) {
  MetricFamily f;
  f.name = "demo";
  f.help = "h";
  // A carriage return, a line feed at each end, a quote and a backslash at
  // the end (which would escape the closing quote), bytes that are no UTF-8,
  // a sequence cut short by the end.
  f.series.push_back({{{"host", "\nx\ry\"\\"}}, 1, {}, 0, 0});
  f.series.push_back({{{"host", "bad\xff\xc0\xafname\xed\xa0\x80.\xe2\x82"}}, 2, {}, 0, 0});
  f.series.push_back({{{"host", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"}}, 3, {}, 0, 0});
  EXPECT_EQ(RenderExposition({f}, ExpositionFormat::Text),
            "# HELP demo h\n"
            "# TYPE demo gauge\n"
            "demo{host=\"\\nx\ry\\\"\\\\\"} 1\n"
            "demo{host=\"bad\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDname\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD."
            "\xEF\xBF\xBD\xEF\xBF\xBD\"} 2\n"
            "demo{host=\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\"} 3\n");
}

TEST(Exposition, ValidUtf8ReplacesEachStrayByte) {
  EXPECT_EQ(ValidUtf8("plain"), "plain");
  EXPECT_EQ(ValidUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
  EXPECT_EQ(ValidUtf8("\x80"), "\xEF\xBF\xBD");
  EXPECT_EQ(ValidUtf8("\xc1\xbf"), "\xEF\xBF\xBD\xEF\xBF\xBD");                  // overlong
  EXPECT_EQ(ValidUtf8("\xe0\x9f\xbf"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // overlong
  EXPECT_EQ(ValidUtf8("\xf4\x90\x80\x80"),
            "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // beyond U+10FFFF
  EXPECT_EQ(ValidUtf8("\xf4\x8f\xbf\xbf"), "\xf4\x8f\xbf\xbf");    // U+10FFFF itself
  EXPECT_EQ(ValidUtf8("\xed\x9f\xbf"), "\xed\x9f\xbf");            // U+D7FF, below the surrogates
  EXPECT_EQ(ValidUtf8("\xef\xbf\xbd"), "\xef\xbf\xbd");
}

TEST(Exposition, NumbersAsPrometheusClientsWriteThem) {
  EXPECT_EQ(FormatMetricNumber(0), "0");
  EXPECT_EQ(FormatMetricNumber(3), "3");
  EXPECT_EQ(FormatMetricNumber(-7), "-7");
  EXPECT_EQ(FormatMetricNumber(123456789012), "123456789012");
  EXPECT_EQ(FormatMetricNumber(0.0004), "0.0004");
  EXPECT_EQ(FormatMetricNumber(0.0001), "0.0001");
  EXPECT_EQ(FormatMetricNumber(0.00005), "5e-05");
  EXPECT_EQ(FormatMetricNumber(26.2144), "26.2144");
  EXPECT_EQ(FormatMetricNumber(-0.5), "-0.5");
  EXPECT_EQ(FormatMetricNumber(100000.5), "100000.5");
  EXPECT_EQ(FormatMetricNumber(1234567.5), "1.2345675e+06");
  EXPECT_EQ(FormatMetricNumber(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(FormatMetricNumber(1e20), "1e+20");
  EXPECT_EQ(FormatMetricNumber(std::numeric_limits<double>::infinity()), "+Inf");
  EXPECT_EQ(FormatMetricNumber(-std::numeric_limits<double>::infinity()), "-Inf");
  EXPECT_EQ(FormatMetricNumber(std::nan("")), "NaN");
}

TEST(Exposition, TheAcceptHeaderPicksTheFormat) {
  const auto om = ExpositionFormat::OpenMetrics;
  const auto text = ExpositionFormat::Text;
  const struct {
    const char* accept;
    ExpositionFormat format;
  } cases[] = {
      // What Prometheus 2.x sends.
      {"application/openmetrics-text;version=1.0.0,application/openmetrics-text;version=0.0.1;q=0.75,"
       "text/plain;version=0.0.4;q=0.5,*/*;q=0.1",
       om},
      {"text/plain;version=0.0.4;q=0.5,*/*;q=0.1", text},
      {"", text},
      {"*/*", text},
      {"application/json", text},
      {"application/openmetrics-text; version=1.0.0", om},
      {" APPLICATION/OpenMetrics-Text ", om},
      {"application/openmetrics-text;q=0.2, text/plain;q=0.9", text},
      {"application/openmetrics-text;q=0.5,*/*;q=0.5", om},
      {"application/openmetrics-text;q=0", text},
      {"application/openmetrics-text;q=abc", text},
      {"application/openmetrics-text;q=2", text},
      {",,;;,application/openmetrics-text;;q=1;", om},
  };
  for (const auto& c : cases) EXPECT_EQ(NegotiateExposition(c.accept), c.format) << c.accept;
}

}  // namespace
}  // namespace sondrel
