#include "core/monitor/Exposition.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "core/common/Utf8.h"

namespace sondrel {
namespace {

// Quotes and backslashes escaped always; the double quote only where the
// format asks for it (label values, OpenMetrics' HELP).
void AppendEscaped(std::string& out, std::string_view text, bool quote) {
  const std::string valid = ValidUtf8(text);
  for (char c : valid) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '"' && quote) {
      out += "\\\"";
    } else {
      out += c;
    }
  }
}

// Go's shortest %g, which Prometheus' own clients write: the exponent form
// below 1e-4 and from 1e6 on.
std::string ShortestG(double value) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  if (ec != std::errc()) return "NaN";
  const std::string_view sci(buf, static_cast<std::size_t>(end - buf));
  const std::size_t e = sci.find('e');
  int exponent = 0;
  std::from_chars(sci.data() + e + (sci[e + 1] == '+' ? 2 : 1), sci.data() + sci.size(), exponent);
  if (exponent < -4 || exponent >= 6) return std::string(sci);
  std::string_view mantissa = sci.substr(0, e);
  std::string out;
  if (!mantissa.empty() && mantissa.front() == '-') {
    out += '-';
    mantissa.remove_prefix(1);
  }
  std::string digits;
  for (char c : mantissa)
    if (c != '.') digits += c;
  if (exponent < 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-exponent - 1), '0');
    out += digits;
    return out;
  }
  const auto whole = static_cast<std::size_t>(exponent) + 1;
  if (digits.size() <= whole) {
    out += digits;
    out.append(whole - digits.size(), '0');
  } else {
    out += digits.substr(0, whole);
    out += '.';
    out += digits.substr(whole);
  }
  return out;
}

std::string BoundText(double bound, ExpositionFormat format) {
  if (std::isinf(bound)) return bound > 0 ? "+Inf" : "-Inf";
  if (std::isnan(bound)) return "NaN";
  std::string text = ShortestG(bound);
  // OpenMetrics' canonical form marks a whole number as a float.
  if (format == ExpositionFormat::OpenMetrics && text.find_first_of(".e") == std::string::npos) text += ".0";
  return text;
}

void AppendLabels(std::string& out, const std::vector<MetricLabel>& labels, const std::string* le) {
  if (labels.empty() && le == nullptr) return;
  out += '{';
  bool first = true;
  for (const MetricLabel& l : labels) {
    if (!first) out += ',';
    first = false;
    out += l.name;
    out += "=\"";
    AppendEscaped(out, l.value, true);
    out += '"';
  }
  if (le != nullptr) {
    if (!first) out += ',';
    out += "le=\"";
    out += *le;
    out += '"';
  }
  out += '}';
}

void AppendSample(std::string& out, std::string_view name, std::string_view suffix,
                  const std::vector<MetricLabel>& labels, const std::string* le, std::string_view value) {
  out += name;
  out += suffix;
  AppendLabels(out, labels, le);
  out += ' ';
  out += value;
  out += '\n';
}

std::string CountText(std::uint64_t n) {
  char buf[24];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, n);
  (void)ec;
  return std::string(buf, end);
}

std::string_view KindWord(MetricKind kind) {
  switch (kind) {
    case MetricKind::Counter:
      return "counter";
    case MetricKind::Histogram:
      return "histogram";
    case MetricKind::Gauge:
      break;
  }
  return "gauge";
}

std::string Lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  return out;
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string_view ExpositionContentType(ExpositionFormat format) {
  return format == ExpositionFormat::OpenMetrics ? "application/openmetrics-text; version=1.0.0; charset=utf-8"
                                                 : "text/plain; version=0.0.4; charset=utf-8";
}

ExpositionFormat NegotiateExposition(std::string_view accept) {
  double openMetrics = 0, text = 0;
  while (!accept.empty()) {
    const std::size_t comma = accept.find(',');
    std::string_view range = accept.substr(0, comma);
    accept = comma == std::string_view::npos ? std::string_view() : accept.substr(comma + 1);
    const std::size_t semi = range.find(';');
    const std::string type = Lower(Trimmed(range.substr(0, semi)));
    double weight = 1;
    for (std::string_view params = semi == std::string_view::npos ? std::string_view() : range.substr(semi + 1);
         !params.empty();) {
      const std::size_t next = params.find(';');
      const std::string_view param = Trimmed(params.substr(0, next));
      params = next == std::string_view::npos ? std::string_view() : params.substr(next + 1);
      if (param.size() < 2 || (param[0] != 'q' && param[0] != 'Q') || param[1] != '=') continue;
      const std::string_view number = Trimmed(param.substr(2));
      double q = 0;
      const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), q);
      // A weight that is no number in [0, 1] takes the range out.
      weight = ec == std::errc() && end == number.data() + number.size() && q >= 0 && q <= 1 ? q : 0;
    }
    if (type == "application/openmetrics-text")
      openMetrics = std::max(openMetrics, weight);
    else if (type == "text/plain" || type == "text/*" || type == "*/*")
      text = std::max(text, weight);
  }
  return openMetrics > 0 && openMetrics >= text ? ExpositionFormat::OpenMetrics : ExpositionFormat::Text;
}

std::string FormatMetricNumber(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
  // Counts are written whole, however large.
  constexpr double kExactWhole = 9007199254740992.0;  // 2^53
  if (value == std::trunc(value) && std::fabs(value) < kExactWhole) {
    char buf[24];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, static_cast<std::int64_t>(value));
    (void)ec;
    return std::string(buf, end);
  }
  return ShortestG(value);
}

std::string ValidUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t at = 0; at < bytes.size();) {
    // Each byte that is no part of a well-formed sequence is replaced.
    const Utf8Piece piece = Utf8PieceAt(bytes, at);
    if (!piece.wellFormed) {
      out += kReplacementCharacter;
      ++at;
    } else {
      out.append(bytes.substr(at, piece.length));
      at += piece.length;
    }
  }
  return out;
}

std::string RenderExposition(const std::vector<MetricFamily>& families, ExpositionFormat format) {
  const bool om = format == ExpositionFormat::OpenMetrics;
  std::string out;
  for (const MetricFamily& f : families) {
    const bool counter = f.kind == MetricKind::Counter;
    // The text format names a counter's family as its samples; OpenMetrics
    // without the suffix.
    const std::string described = counter && !om ? f.name + "_total" : f.name;
    out += "# HELP ";
    out += described;
    out += ' ';
    AppendEscaped(out, f.help, om);
    out += "\n# TYPE ";
    out += described;
    out += ' ';
    out += KindWord(f.kind);
    out += '\n';
    for (const MetricSeries& s : f.series) {
      if (f.kind != MetricKind::Histogram) {
        AppendSample(out, f.name, counter ? "_total" : "", s.labels, nullptr, FormatMetricNumber(s.value));
        continue;
      }
      std::uint64_t cumulated = 0;
      for (std::size_t k = 0; k < f.bounds.size(); ++k) {
        if (k < s.buckets.size()) cumulated += s.buckets[k];
        const std::string le = BoundText(f.bounds[k], format);
        AppendSample(out, f.name, "_bucket", s.labels, &le, CountText(cumulated));
      }
      const std::string inf = "+Inf";
      AppendSample(out, f.name, "_bucket", s.labels, &inf, CountText(s.count));
      AppendSample(out, f.name, "_sum", s.labels, nullptr, FormatMetricNumber(s.sum));
      AppendSample(out, f.name, "_count", s.labels, nullptr, CountText(s.count));
    }
  }
  if (om) out += "# EOF\n";
  return out;
}

}  // namespace sondrel
