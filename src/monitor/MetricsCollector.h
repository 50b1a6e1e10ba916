#pragma once
// The figures a Prometheus server scrapes of the live run, per target, under
// the names and labels of the smokeping prober (so that its dashboards work
// unchanged) and a few of our own: echoes sent and answered, a histogram of
// the round trips, the last reply's TTL and round trip, and the outages.
// A reader of the run; scrape() may be called from any thread at any time.
//
// Each target is one series, labelled `host` (as it was given: its list
// label or host name, else its address) and `ip`. Counters never go back
// within the process: a series seen in an earlier run goes on from its
// figures there. A scrape shows the series of the run under way, or of the
// last one after it ended; before any run, only the build's version.

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/monitor/Exposition.h"
#include "core/monitor/Outages.h"
#include "ping/RunReader.h"

namespace sondrel {

// The upper bounds of the round-trip histogram in µs: 50 µs doubling up to
// 26.2144 s.
inline constexpr std::size_t kRoundTripBuckets = 20;
inline constexpr std::uint32_t kFirstRoundTripBoundUs = 50;

// The `host` label of a target: its label without the " / ADDRESS" a
// resolved name carries, else its address.
std::string MetricsHostOf(const std::string& label, const std::string& address);

class MetricsCollector final : public RunReader {
 public:
  // `outageThreshold`: echoes lost in a row that make an outage.
  explicit MetricsCollector(int outageThreshold = OutageTracker::kDefaultThreshold);

  void runStarted(const RunData& run, const PingParameters& parameters) override;
  void resultAdded(std::int64_t row, const ResultRecord& record, const EchoDetail& echo) override;
  void passEnded() override;
  void runEnded(const RunData& run, RunEnd how) override;

  // The figures as they stood at the last pass's end (or a moment ago in a
  // long pass), from any thread.
  std::vector<MetricFamily> families() const;
  std::string scrape(ExpositionFormat format) const;

 private:
  // One target's figures in the run under way; plain data, copied whole
  // when published.
  struct TargetFigures {
    std::uint64_t requests = 0, responses = 0;
    std::array<std::uint64_t, kRoundTripBuckets> buckets{};
    std::uint64_t roundTripSumUs = 0;
    std::uint64_t replyOrder = 0;  // which reply came last, over every target and run; 0 for none
    std::uint32_t lastRoundTripUs = 0;
    std::int16_t lastTtl = 0;
    bool outageActive = false;
    std::uint64_t outages = 0;
    std::int64_t endedOutageUs = 0;   // the outages ended, together
    std::int64_t outageStartUs = 0;   // the one going on
    std::int64_t lastSentUs = 0;
  };
  // A label set's figures from the runs before this one.
  struct Series {
    std::string host, ip;
    TargetFigures before;
  };
  // Which series each target of the run is; made at each run's start.
  struct Layout {
    std::vector<Series> series;
    std::vector<std::size_t> shown;     // the run's series, in its targets' order
    std::vector<std::size_t> seriesOf;  // per target
  };
  using Figures = std::vector<TargetFigures>;

  void publish();
  std::vector<MetricFamily> familiesOf(const Layout* layout, const Figures* figures) const;
  static void addInto(TargetFigures& into, const TargetFigures& run);

  // The run's thread's own.
  OutageTracker outages_;
  const int threshold_;  // as the tracker holds it
  std::vector<TargetFigures> live_;
  std::vector<Series> series_;
  std::map<std::pair<std::string, std::string>, std::size_t> seriesIndex_;
  std::vector<std::size_t> shown_, seriesOf_;
  bool seriesChanged_ = false;
  std::uint64_t replies_ = 0;
  std::uint32_t sinceCheck_ = 0;
  std::chrono::steady_clock::time_point lastPublished_{};
  // Published at each pass's end: the run's thread fills the spare copy
  // while no scrape holds it and swaps it in, so neither side waits for
  // more than the swap.
  std::shared_ptr<Figures> spare_;
  mutable std::mutex mutex_;
  std::shared_ptr<const Layout> layout_;
  std::shared_ptr<Figures> current_;
};

}  // namespace sondrel
