#pragma once
// A target's round-trip figures as its echoes come, in microseconds: the
// extremes, mean and jitter exactly, the median and 95th percentile from a
// histogram whose buckets are at most 2 % wide (a quantile is within 1 % of
// the exact one: the bucket's middle is given), the loss; over the whole run
// and over a sliding window of the latest echoes (by send time).

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace sondrel {

class LatencyHistogram {
 public:
  void add(std::int64_t us);
  void remove(std::int64_t us);  // a value added before
  std::int64_t count() const { return count_; }
  // The value at quantile q in [0, 1] by nearest rank (the smallest value
  // with at least q of all at or below it); nothing when empty.
  std::optional<std::int64_t> quantile(double q) const;

  // Below this every microsecond has its own bucket.
  static constexpr std::int64_t kExactBelow = 100;
  static std::size_t bucketOf(std::int64_t us);
  // The value a bucket stands for: its lowest (exact buckets) or its middle.
  static std::int64_t valueOf(std::size_t bucket);

 private:
  std::vector<std::int64_t> buckets_;
  std::int64_t count_ = 0;
};

struct LatencySummary {
  std::int64_t sent = 0;
  std::int64_t received = 0;
  std::optional<std::int64_t> lastUs, minUs, maxUs, medianUs, p95Us;
  std::optional<double> meanUs;
  // Mean absolute difference of consecutive replies' round trips, and the
  // smoothed form (each difference taken in by 1/16).
  std::optional<double> jitterUs;
  double smoothedJitterUs = 0;

  std::int64_t lost() const { return sent - received; }
  // 0 to 100; 0 when nothing was sent.
  double lossPercent() const { return sent == 0 ? 0.0 : 100.0 * static_cast<double>(lost()) / static_cast<double>(sent); }
};

class TargetLatency {
 public:
  // `windowUs`: the sliding window's length (by send time).
  explicit TargetLatency(std::int64_t windowUs = 5 * 60 * 1'000'000LL) : windowUs_(windowUs) {}

  // One echo, in the order sent: its round trip, or -1 for no reply.
  void add(std::int64_t sentUtcUs, std::int64_t roundTripUs);

  LatencySummary run() const;
  std::int64_t sent() const { return run_.sent; }
  // window().lossPercent() without the rest of the window's figures.
  double windowLossPercent() const {
    return LatencySummary{.sent = window_.sent, .received = window_.received}.lossPercent();
  }
  // The echoes sent within the window before the latest one's send time.
  LatencySummary window() const;
  std::int64_t windowUs() const { return windowUs_; }

 private:
  struct Figures {
    std::int64_t sent = 0, received = 0;
    LatencyHistogram histogram;
  };
  LatencySummary summaryOf(const Figures& f) const;
  static void clampQuantiles(LatencySummary& s);

  std::int64_t windowUs_;
  Figures run_, window_;
  std::optional<std::int64_t> last_, min_, max_;
  double sum_ = 0;
  double jitterSum_ = 0;
  std::int64_t jitterPairs_ = 0;
  double smoothedJitter_ = 0;
  struct Echo {
    std::int64_t sentUs, roundTripUs;
  };
  std::deque<Echo> inWindow_;
};

// A target's figures per period: periods of `periodUs` cut from `originUs`
// on, so that period k holds the echoes sent in [origin + k * period,
// origin + (k + 1) * period). Echoes come in the order sent; periods without
// any echo are not listed.
class PeriodLatency {
 public:
  PeriodLatency(std::int64_t originUs, std::int64_t periodUs);

  void add(std::int64_t sentUtcUs, std::int64_t roundTripUs);

  struct Period {
    std::int64_t index = 0;  // k above, from 0
    std::int64_t fromUs = 0, toUs = 0;
    TargetLatency figures;
  };
  const std::vector<Period>& periods() const { return periods_; }

 private:
  std::int64_t originUs_, periodUs_;
  std::vector<Period> periods_;
};

}  // namespace sondrel
