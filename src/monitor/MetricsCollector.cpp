#include "monitor/MetricsCollector.h"

#include <bit>

#include "core/common/DataFolder.h"

namespace sondrel {
namespace {

// A long pass is published once a second at most, looked at every so many results.
constexpr std::uint32_t kResultsBetweenLooks = 4096;
constexpr auto kLongPassPublishing = std::chrono::seconds(1);

// The bucket of a round trip: the first bound 50 µs * 2^k at or above it.
std::size_t BucketOf(std::uint32_t us) {
  const std::uint64_t fifties = (std::uint64_t{us} + kFirstRoundTripBoundUs - 1) / kFirstRoundTripBoundUs;
  return fifties <= 1 ? 0 : static_cast<std::size_t>(std::bit_width(fifties - 1));
}

double Seconds(std::int64_t us) { return static_cast<double>(us) / 1e6; }

MetricFamily Family(std::string name, std::string help, MetricKind kind) {
  MetricFamily f;
  f.name = std::move(name);
  f.help = std::move(help);
  f.kind = kind;
  return f;
}

}  // namespace

std::string MetricsHostOf(const std::string& label, const std::string& address) {
  const std::string resolved = " / " + address;
  if (label.size() > resolved.size() && label.compare(label.size() - resolved.size(), resolved.size(), resolved) == 0)
    return label.substr(0, label.size() - resolved.size());
  return label.empty() ? address : label;
}

MetricsCollector::MetricsCollector(int outageThreshold)
    : outages_(outageThreshold), threshold_(outages_.threshold()) {}

void MetricsCollector::addInto(TargetFigures& into, const TargetFigures& run) {
  into.requests += run.requests;
  into.responses += run.responses;
  for (std::size_t k = 0; k < kRoundTripBuckets; ++k) into.buckets[k] += run.buckets[k];
  into.roundTripSumUs += run.roundTripSumUs;
  if (run.replyOrder > into.replyOrder) {
    into.replyOrder = run.replyOrder;
    into.lastRoundTripUs = run.lastRoundTripUs;
    into.lastTtl = run.lastTtl;
  }
  into.outages += run.outages;
  // An outage going on counts up to its target's last echo.
  into.endedOutageUs += run.endedOutageUs + (run.outageActive ? run.lastSentUs - run.outageStartUs : 0);
  into.outageActive = into.outageActive || run.outageActive;
}

void MetricsCollector::runStarted(const RunData& run, const PingParameters&) {
  // The run before goes into its series' figures, so that they go on.
  for (std::size_t t = 0; t < live_.size() && t < seriesOf_.size(); ++t) {
    TargetFigures& before = series_[seriesOf_[t]].before;
    addInto(before, live_[t]);
    before.outageActive = false;
  }
  const std::size_t targets = run.addresses.size();
  seriesOf_.assign(targets, 0);
  shown_.clear();
  std::vector<bool> listed(series_.size(), false);
  for (std::size_t t = 0; t < targets; ++t) {
    const std::string& ip = run.addresses[t];
    std::string host = MetricsHostOf(t < run.targetLabels.size() ? run.targetLabels[t] : std::string(), ip);
    auto [at, added] = seriesIndex_.try_emplace({host, ip}, series_.size());
    if (added) {
      series_.push_back({std::move(host), ip, {}});
      listed.push_back(false);
    }
    seriesOf_[t] = at->second;
    // A target given twice under one name is one series.
    if (!listed[at->second]) {
      listed[at->second] = true;
      shown_.push_back(at->second);
    }
  }
  live_.assign(targets, TargetFigures{});
  outages_ = OutageTracker(threshold_);
  seriesChanged_ = true;
  sinceCheck_ = 0;
  publish();
}

void MetricsCollector::resultAdded(std::int64_t, const ResultRecord& record, const EchoDetail& echo) {
  if (record.target >= live_.size()) return;
  TargetFigures& t = live_[record.target];
  ++t.requests;
  const bool replied = record.time >= 0;
  if (replied) {
    ++t.responses;
    const std::size_t k = BucketOf(echo.roundTripUs);
    if (k < kRoundTripBuckets) ++t.buckets[k];
    t.roundTripSumUs += echo.roundTripUs;
    t.lastRoundTripUs = echo.roundTripUs;
    t.lastTtl = record.ttl;
    t.replyOrder = ++replies_;
  }
  t.lastSentUs = echo.sentUtcUs;
  switch (outages_.add(record.target, echo.sentUtcUs, replied)) {
    case OutageTracker::Change::Began:
      t.outageActive = true;
      ++t.outages;
      t.outageStartUs = outages_.last().startUtcUs;
      break;
    case OutageTracker::Change::Ended:
      t.outageActive = false;
      t.endedOutageUs += outages_.last().endUtcUs - outages_.last().startUtcUs;
      break;
    case OutageTracker::Change::None:
      break;
  }
  if (++sinceCheck_ >= kResultsBetweenLooks) {
    sinceCheck_ = 0;
    if (std::chrono::steady_clock::now() - lastPublished_ >= kLongPassPublishing) publish();
  }
}

void MetricsCollector::passEnded() { publish(); }

void MetricsCollector::runEnded(const RunData&, RunEnd) {
  // The outages under way end at their targets' last echoes, as the
  // tracker's own closeAll has them.
  for (TargetFigures& t : live_) {
    if (!t.outageActive) continue;
    t.endedOutageUs += t.lastSentUs - t.outageStartUs;
    t.outageActive = false;
  }
  outages_.closeAll();
  publish();
}

void MetricsCollector::publish() {
  lastPublished_ = std::chrono::steady_clock::now();
  // A spare still held by a scrape stays with it. Scrapes let go of theirs
  // under the lock, so a count of one seen under it is the truth, and no
  // scrape can take the spare again: only the current figures are handed out.
  bool reusable = false;
  {
    std::lock_guard lock(mutex_);
    reusable = spare_ && spare_.use_count() == 1;
  }
  if (!reusable) spare_ = std::make_shared<Figures>();
  *spare_ = live_;
  std::shared_ptr<const Layout> layout;
  if (seriesChanged_) {
    layout = std::make_shared<const Layout>(Layout{series_, shown_, seriesOf_});
    seriesChanged_ = false;
  }
  std::lock_guard lock(mutex_);
  std::swap(current_, spare_);
  if (layout) layout_ = std::move(layout);
}

std::vector<MetricFamily> MetricsCollector::families() const {
  std::shared_ptr<const Layout> layout;
  std::shared_ptr<const Figures> figures;
  {
    std::lock_guard lock(mutex_);
    layout = layout_;
    figures = current_;
  }
  std::vector<MetricFamily> out = familiesOf(layout.get(), figures.get());
  {
    std::lock_guard lock(mutex_);
    figures.reset();
  }
  return out;
}

std::vector<MetricFamily> MetricsCollector::familiesOf(const Layout* layout, const Figures* figures) const {
  std::vector<MetricFamily> out;
  MetricFamily build = Family("sondrel_build_info", "The program's version.", MetricKind::Gauge);
  build.series.push_back({{{"version", std::string(kVersion)}}, 1, {}, 0, 0});
  out.push_back(std::move(build));
  if (!layout || !figures) return out;

  // Each series' figures: its earlier runs' and those of its targets now.
  std::vector<TargetFigures> sums(layout->series.size());
  for (std::size_t s : layout->shown) sums[s] = layout->series[s].before;
  for (std::size_t t = 0; t < figures->size() && t < layout->seriesOf.size(); ++t)
    addInto(sums[layout->seriesOf[t]], (*figures)[t]);

  MetricFamily requests = Family("smokeping_requests", "Echo requests sent to the target.", MetricKind::Counter);
  MetricFamily responses = Family("smokeping_responses", "Echo replies from the target.", MetricKind::Counter);
  MetricFamily duration = Family("smokeping_response_duration_seconds",
                                 "Round-trip times of the echo replies, in seconds.", MetricKind::Histogram);
  for (std::size_t k = 0; k < kRoundTripBuckets; ++k)
    duration.bounds.push_back(Seconds(std::int64_t{kFirstRoundTripBoundUs} << k));
  MetricFamily ttl = Family("smokeping_response_ttl", "TTL of the last echo reply.", MetricKind::Gauge);
  MetricFamily active = Family("sondrel_outage_active", "Whether the target is in an outage now (1) or not (0).",
                               MetricKind::Gauge);
  MetricFamily outages = Family("sondrel_outages",
                                "Outages of the target: " + std::to_string(threshold_) +
                                    " or more echoes lost in a row.",
                                MetricKind::Counter);
  MetricFamily down = Family("sondrel_outage_seconds",
                             "Time in outages, those ended and the one going on, by the echoes' send times, in "
                             "seconds.",
                             MetricKind::Counter);
  MetricFamily lastRtt = Family("sondrel_last_rtt_seconds", "Round-trip time of the last echo reply, in seconds.",
                                MetricKind::Gauge);
  for (std::size_t s : layout->shown) {
    const TargetFigures& f = sums[s];
    const std::vector<MetricLabel> labels = {{"host", layout->series[s].host}, {"ip", layout->series[s].ip}};
    requests.series.push_back({labels, static_cast<double>(f.requests), {}, 0, 0});
    responses.series.push_back({labels, static_cast<double>(f.responses), {}, 0, 0});
    duration.series.push_back({labels, 0, {f.buckets.begin(), f.buckets.end()}, f.responses,
                               Seconds(static_cast<std::int64_t>(f.roundTripSumUs))});
    if (f.replyOrder > 0) {
      ttl.series.push_back({labels, static_cast<double>(f.lastTtl), {}, 0, 0});
      lastRtt.series.push_back({labels, Seconds(f.lastRoundTripUs), {}, 0, 0});
    }
    active.series.push_back({labels, f.outageActive ? 1.0 : 0.0, {}, 0, 0});
    outages.series.push_back({labels, static_cast<double>(f.outages), {}, 0, 0});
    down.series.push_back({labels, Seconds(f.endedOutageUs), {}, 0, 0});
  }
  for (MetricFamily* f : {&requests, &responses, &duration, &ttl, &active, &outages, &down, &lastRtt})
    if (!f->series.empty()) out.push_back(std::move(*f));
  return out;
}

std::string MetricsCollector::scrape(ExpositionFormat format) const {
  return RenderExposition(families(), format);
}

}  // namespace sondrel
