#pragma once
// The two text formats a Prometheus server scrapes: its own text format
// 0.0.4 and OpenMetrics 1.0. Figures in, the body of a scrape out; every
// label value comes out on its line whatever bytes it held.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sondrel {

enum class ExpositionFormat { Text, OpenMetrics };

// The Content-Type of a body in `format`.
std::string_view ExpositionContentType(ExpositionFormat format);

// The format a scraper asks for with its Accept header: OpenMetrics when it
// takes application/openmetrics-text (any version) with a weight above 0
// and no lower than the text format's, else the text format.
ExpositionFormat NegotiateExposition(std::string_view accept);

enum class MetricKind { Counter, Gauge, Histogram };

struct MetricLabel {
  std::string name;
  std::string value;  // any bytes
};

struct MetricSeries {
  std::vector<MetricLabel> labels;
  double value = 0;  // a counter's or gauge's
  // A histogram's observations per bucket (not cumulated), one for each of
  // its family's bounds; `count` holds those above the last bound too.
  std::vector<std::uint64_t> buckets;
  std::uint64_t count = 0;
  double sum = 0;
};

struct MetricFamily {
  std::string name;  // a counter's without "_total"
  std::string help;
  MetricKind kind = MetricKind::Gauge;
  std::vector<double> bounds;  // a histogram's upper bounds, ascending, +Inf left out
  std::vector<MetricSeries> series;
};

// Every family with its HELP and TYPE lines and its samples, in the order
// given; OpenMetrics ends with "# EOF".
std::string RenderExposition(const std::vector<MetricFamily>& families, ExpositionFormat format);

// A sample's value as both formats write it: the shortest text that reads
// back as the same double, "+Inf", "-Inf", "NaN".
std::string FormatMetricNumber(double value);

// `bytes` as valid UTF-8: each byte that is no part of a well-formed
// sequence becomes U+FFFD.
std::string ValidUtf8(std::string_view bytes);

}  // namespace sondrel
