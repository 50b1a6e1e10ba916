#include "core/monitor/LatencyFigures.h"

#include <algorithm>
#include <cmath>

namespace sondrel {
namespace {

// Each bucket above the exact ones is 2 % wider than the one before, so its
// middle is within 1 % of any value in it.
constexpr double kGrowth = 1.02;
const double kLogGrowth = std::log(kGrowth);

}  // namespace

std::size_t LatencyHistogram::bucketOf(std::int64_t us) {
  if (us < kExactBelow) return static_cast<std::size_t>(std::max<std::int64_t>(us, 0));
  const double steps = std::log(static_cast<double>(us) / static_cast<double>(kExactBelow)) / kLogGrowth;
  return static_cast<std::size_t>(kExactBelow) + static_cast<std::size_t>(steps);
}

std::int64_t LatencyHistogram::valueOf(std::size_t bucket) {
  if (bucket < static_cast<std::size_t>(kExactBelow)) return static_cast<std::int64_t>(bucket);
  const double k = static_cast<double>(bucket - static_cast<std::size_t>(kExactBelow));
  const double low = static_cast<double>(kExactBelow) * std::pow(kGrowth, k);
  return std::llround(low * (1 + kGrowth) / 2);
}

void LatencyHistogram::add(std::int64_t us) {
  const std::size_t b = bucketOf(us);
  if (b >= buckets_.size()) buckets_.resize(b + 1);
  ++buckets_[b];
  ++count_;
}

void LatencyHistogram::remove(std::int64_t us) {
  const std::size_t b = bucketOf(us);
  if (b >= buckets_.size() || buckets_[b] == 0) return;
  --buckets_[b];
  --count_;
}

std::optional<std::int64_t> LatencyHistogram::quantile(double q) const {
  if (count_ == 0) return std::nullopt;
  const double wanted = std::clamp(q, 0.0, 1.0) * static_cast<double>(count_);
  const std::int64_t rank = std::max<std::int64_t>(1, static_cast<std::int64_t>(std::ceil(wanted - 1e-9)));
  std::int64_t seen = 0;
  for (std::size_t b = 0; b < buckets_.size(); ++b) {
    seen += buckets_[b];
    if (seen >= rank) return valueOf(b);
  }
  return valueOf(buckets_.size() - 1);
}

void TargetLatency::add(std::int64_t sentUtcUs, std::int64_t roundTripUs) {
  const bool replied = roundTripUs >= 0;
  for (Figures* f : {&run_, &window_}) {
    ++f->sent;
    if (replied) {
      ++f->received;
      f->histogram.add(roundTripUs);
    }
  }
  if (replied) {
    if (last_) {
      const double d = std::abs(static_cast<double>(roundTripUs - *last_));
      jitterSum_ += d;
      ++jitterPairs_;
      smoothedJitter_ += (d - smoothedJitter_) / 16;
    }
    last_ = roundTripUs;
    min_ = std::min(min_.value_or(roundTripUs), roundTripUs);
    max_ = std::max(max_.value_or(roundTripUs), roundTripUs);
    sum_ += static_cast<double>(roundTripUs);
  }
  inWindow_.push_back({sentUtcUs, roundTripUs});
  while (!inWindow_.empty() && inWindow_.front().sentUs <= sentUtcUs - windowUs_) {
    const Echo& gone = inWindow_.front();
    --window_.sent;
    if (gone.roundTripUs >= 0) {
      --window_.received;
      window_.histogram.remove(gone.roundTripUs);
    }
    inWindow_.pop_front();
  }
}

LatencySummary TargetLatency::summaryOf(const Figures& f) const {
  LatencySummary s;
  s.sent = f.sent;
  s.received = f.received;
  s.medianUs = f.histogram.quantile(0.5);
  s.p95Us = f.histogram.quantile(0.95);
  return s;
}

void TargetLatency::clampQuantiles(LatencySummary& s) {
  // A bucket's middle may lie past the values it holds: never past the
  // extremes (a run of equal times reads that time exactly).
  for (std::optional<std::int64_t>* q : {&s.medianUs, &s.p95Us})
    if (*q && s.minUs && s.maxUs) **q = std::clamp(**q, *s.minUs, *s.maxUs);
}

LatencySummary TargetLatency::run() const {
  LatencySummary s = summaryOf(run_);
  s.lastUs = last_;
  s.minUs = min_;
  s.maxUs = max_;
  if (run_.received > 0) s.meanUs = sum_ / static_cast<double>(run_.received);
  clampQuantiles(s);
  if (jitterPairs_ > 0) s.jitterUs = jitterSum_ / static_cast<double>(jitterPairs_);
  s.smoothedJitterUs = smoothedJitter_;
  return s;
}

LatencySummary TargetLatency::window() const {
  LatencySummary s = summaryOf(window_);
  s.lastUs = last_;
  // The window's extremes and mean, from the echoes still in it.
  double sum = 0;
  for (const Echo& e : inWindow_) {
    if (e.roundTripUs < 0) continue;
    s.minUs = std::min(s.minUs.value_or(e.roundTripUs), e.roundTripUs);
    s.maxUs = std::max(s.maxUs.value_or(e.roundTripUs), e.roundTripUs);
    sum += static_cast<double>(e.roundTripUs);
  }
  if (window_.received > 0) s.meanUs = sum / static_cast<double>(window_.received);
  clampQuantiles(s);
  return s;
}

PeriodLatency::PeriodLatency(std::int64_t originUs, std::int64_t periodUs)
    : originUs_(originUs), periodUs_(std::max<std::int64_t>(1, periodUs)) {}

void PeriodLatency::add(std::int64_t sentUtcUs, std::int64_t roundTripUs) {
  // Floor division: an echo before the origin starts a period of its own.
  const std::int64_t offset = sentUtcUs - originUs_;
  const std::int64_t k = offset >= 0 ? offset / periodUs_ : -((-offset + periodUs_ - 1) / periodUs_);
  if (periods_.empty() || periods_.back().index != k) {
    Period p;
    p.index = k;
    p.fromUs = originUs_ + k * periodUs_;
    p.toUs = p.fromUs + periodUs_;
    // The window is the period itself: only its whole-run figures are read.
    p.figures = TargetLatency(periodUs_);
    periods_.push_back(std::move(p));
  }
  periods_.back().figures.add(sentUtcUs, roundTripUs);
}

}  // namespace sondrel
