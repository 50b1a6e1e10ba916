#include "cli/CliJson.h"

#include <QDateTime>
#include <cerrno>
#include <charconv>
#include <optional>

#include "core/common/JsonLine.h"
#include "monitor/RunMonitor.h"

namespace sondrel::cli {
namespace {

// A number of the worker's text ("12"); none for anything else.
std::optional<std::int64_t> wholeNumberOf(const std::string& text) {
  std::int64_t v = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return v;
}

std::optional<std::string> unlessEmpty(const std::string& text) {
  if (text.empty()) return std::nullopt;
  return text;
}

const char* scanState(const ScanRecord& r) {
  if (r.notReported) return "not_reported";
  if (r.pending()) return "pending";
  return r.dead() ? "inactive" : "active";
}

}  // namespace

std::string LocalRfc3339(std::int64_t utcUs) {
  const std::int64_t ms = utcUs / 1000 - (utcUs % 1000 < 0);
  return Rfc3339Millis(utcUs, QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc());
}

void JsonResults::runStarted(const RunData& run, const PingParameters&) {
  addresses_ = run.addresses;
  names_.assign(run.addresses.size(), {});
  for (std::size_t t = 0; t < names_.size(); ++t)
    names_[t] = t < run.targetLabels.size() && !run.targetLabels[t].empty() ? run.targetLabels[t] : run.addresses[t];
}

void JsonResults::resultAdded(std::int64_t, const ResultRecord& record, const EchoDetail& echo) {
  static const std::string kNone;
  const bool known = record.target < addresses_.size();
  const std::string line =
      lineOf(record, echo, known ? names_[record.target] : kNone, known ? addresses_[record.target] : kNone);
  std::fprintf(out_, "%s\n", line.c_str());
  // Each line at once, as the rows are; nobody reading any more stops the
  // run as Ctrl-C would, the log closed whole.
  if (std::fflush(out_) != 0 && errno == EPIPE && unread_) unread_();
}

std::string JsonResults::lineOf(const ResultRecord& record, const EchoDetail& echo, const std::string& target,
                                const std::string& address) {
  const bool replied = record.time >= 0;
  JsonLine line;
  line.text("type", "result")
      .text("time", LocalRfc3339(echo.sentUtcUs))
      .text("target", target)
      .text("address", address)
      .number("index", record.target)
      .number("pass", echo.pass)
      .number("size", record.bufferSize)
      .decimal("rtt_ms", replied ? std::optional<std::int64_t>(echo.roundTripUs) : std::nullopt, 3)
      .number("ttl", replied ? std::optional<std::int64_t>(record.ttl) : std::nullopt)
      .number("status", record.status)
      .text("status_text", ResultStatusText(record));
  return line.str();
}

std::vector<std::string> PingEndJson(const RunData& run, const RunMonitor& monitor) {
  std::vector<std::string> lines;
  for (std::uint32_t t = 0; t < monitor.targetCount(); ++t) {
    const LatencySummary s = monitor.latencyOf(t)->run();
    JsonLine line;
    line.text("type", "summary")
        .text("target", monitor.nameOf(t))
        .text("address", monitor.addressOf(t))
        .number("index", t)
        .number("sent", s.sent)
        .number("received", s.received)
        .number("lost", s.lost())
        .decimal("loss_percent", LossHundredths(s.sent, s.lost()), 2)
        .decimal("min_ms", s.minUs, 3)
        .decimal("max_ms", s.maxUs, 3)
        .decimal("avg_ms", RoundedMicros(s.meanUs), 3)
        .decimal("median_ms", s.medianUs, 3)
        .decimal("p95_ms", s.p95Us, 3)
        .decimal("jitter_ms", RoundedMicros(s.jitterUs), 3);
    lines.push_back(line.str());
  }

  // The run's statistics as the text block gives them: whole milliseconds,
  // a reply under 1 ms counted as 1.
  RunStatistics stats = run.stats;
  const bool replies = stats.anyReply();
  if (replies) RaiseZeroTimes(stats);
  const auto ifReplies = [replies](std::int64_t v) { return replies ? std::optional<std::int64_t>(v) : std::nullopt; };
  lines.push_back(JsonLine()
                      .text("type", "total")
                      .number("sent", stats.sent)
                      .number("received", stats.received())
                      .number("lost", stats.lost)
                      .decimal("loss_percent", LossHundredths(stats.sent, stats.lost), 2)
                      .number("min_ms", ifReplies(stats.minTime))
                      .number("max_ms", ifReplies(stats.maxTime))
                      .number("avg_ms", ifReplies(stats.avgTime))
                      .number("avg_ttl", ifReplies(stats.avgTtl))
                      .str());

  for (const Outage& o : monitor.outages().outages()) {
    const bool ongoing = o.ongoing();
    lines.push_back(JsonLine()
                        .text("type", "outage")
                        .text("target", monitor.nameOf(o.target))
                        .text("address", monitor.addressOf(o.target))
                        .number("index", o.target)
                        .text("start", LocalRfc3339(o.startUtcUs))
                        .textOrNull("end", ongoing ? std::nullopt : std::optional<std::string>(LocalRfc3339(o.endUtcUs)))
                        .decimal("duration_ms", ongoing ? std::nullopt : std::optional<std::int64_t>(o.endUtcUs - o.startUtcUs), 3)
                        .number("lost", o.lostEchoes)
                        .str());
  }
  return lines;
}

std::vector<std::string> ScanJson(const ScanTable& table, const ScanCounters& counters, std::int64_t utcUs) {
  std::vector<std::string> lines;
  lines.reserve(table.size() + 1);
  for (std::size_t k = 0; k < table.size(); ++k) {
    const ScanRecord& r = table[k];
    const bool answered = !r.dead() && !r.ms.empty();
    lines.push_back(JsonLine()
                        .text("type", "host")
                        .number("index", static_cast<std::int64_t>(k))
                        .text("address", r.ip)
                        .text("state", scanState(r))
                        .number("rtt_ms", answered ? wholeNumberOf(r.ms) : std::nullopt)
                        .number("ttl", answered ? wholeNumberOf(r.ttl) : std::nullopt)
                        .textOrNull("name", unlessEmpty(r.host))
                        .textOrNull("mac", unlessEmpty(r.mac))
                        .str());
  }
  lines.push_back(JsonLine()
                      .text("type", "scan_summary")
                      .text("time", LocalRfc3339(utcUs))
                      .number("total", counters.total)
                      .number("active", counters.active)
                      .number("inactive", counters.inactive)
                      .str());
  return lines;
}

}  // namespace sondrel::cli
