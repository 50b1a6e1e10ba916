#pragma once
// Watches a run's targets as their results come: the outages and the
// round-trip figures of each, from the carrier's microseconds. A reader of
// the run, added by whoever shows or prints them (the command line's
// summary, the monitor window).

#include <QObject>
#include <cstdint>
#include <string>
#include <vector>

#include "core/common/Result.h"
#include "core/monitor/LatencyFigures.h"
#include "core/monitor/Outages.h"
#include "ping/RunReader.h"

namespace sondrel {

class RunArchive;

// The user's monitor settings ($XDG_CONFIG_HOME/sondrel/sondrel.ini,
// [monitor] outage_after: echoes lost in a row that make an outage, 1 to
// 100; window_minutes: the recent window, 1 to 1440), each a default where
// missing or out of range.
struct MonitorSettings {
  int outageAfter = OutageTracker::kDefaultThreshold;
  int windowMinutes = 5;
  std::int64_t windowUs() const { return std::int64_t{windowMinutes} * 60'000'000; }
};
MonitorSettings ReadMonitorSettings();

// A run's figures worked out elsewhere (from an archived run's echoes).
struct MonitorFigures {
  OutageTracker outages;
  std::vector<TargetLatency> latency;
};
// The figures of archived run `run` from its stored echoes, in exact
// microseconds, read target by target.
Result<MonitorFigures> FiguresOfArchivedRun(RunArchive& archive, std::int64_t run, const MonitorSettings& settings);

class RunMonitor final : public QObject, public RunReader {
  Q_OBJECT
 public:
  explicit RunMonitor(int outageThreshold = OutageTracker::kDefaultThreshold,
                      std::int64_t windowUs = 5 * 60 * 1'000'000LL, QObject* parent = nullptr);

  void runStarted(const RunData& run, const PingParameters& parameters) override;
  void resultAdded(std::int64_t row, const ResultRecord& record, const EchoDetail& echo) override;
  void runEnded(const RunData& run, RunEnd how) override;
  // A previous run shown (reloaded, or opened from the archive): its figures
  // from its records, in whole milliseconds and at the seconds they carry.
  void previousRunShown(const RunData& run) override;
  // Takes the exact figures of the previous run shown (read from the
  // archive) in place of those its records gave.
  void adopt(MonitorFigures figures);

  const OutageTracker& outages() const { return outages_; }
  std::size_t targetCount() const { return latency_.size(); }
  // Null past the run's targets.
  const TargetLatency* latencyOf(std::uint32_t target) const;
  // The target's list label, or its address without one.
  std::string nameOf(std::uint32_t target) const;
  const std::string& addressOf(std::uint32_t target) const;
  // The group or range of the IP list it came from ("" for none).
  const std::string& groupOf(std::uint32_t target) const { return GroupOf(groups_, target); }
  // Whether the figures changed since the last call (a view refreshes on it).
  bool takeChanged() {
    const bool was = changed_;
    changed_ = false;
    return was;
  }
  // Whether a run is being followed live (else a previous run is shown).
  bool live() const { return live_; }

 Q_SIGNALS:
  void outageBegan(const sondrel::Outage& outage);
  void outageEnded(const sondrel::Outage& outage);
  // Another run is followed now: every figure starts again.
  void reset();
  // The live run has ended (its outages under way closed just before).
  void ended();
  // The round-trip and loss figures are due to be judged again: at the
  // first result of the run and then at the first sent a second or more
  // after the last one due, by the run's own clock.
  void figuresDue();

 private:
  static constexpr std::int64_t kFiguresDueUs = 1'000'000;
  int threshold_;
  std::int64_t windowUs_;
  std::int64_t nextFiguresUs_ = INT64_MIN;
  OutageTracker outages_;
  std::vector<TargetLatency> latency_;
  std::vector<std::string> addresses_, labels_;
  std::vector<TargetGroup> groups_;
  bool changed_ = false;
  bool live_ = false;
};

// An outage's moment in local time, "yyyy-MM-dd HH:mm:ss.zzz" ("" for -1).
std::string OutageTimeText(std::int64_t utcUs);
// Its length in seconds with three decimals ("" while it goes on).
std::string OutageLengthText(const Outage& outage);

// The outages of a run as lines for a terminal, after a heading; none when
// there were none. Local times; lengths in seconds with three decimals.
std::vector<std::string> FormatOutageLines(const std::vector<Outage>& outages, int threshold,
                                           const std::vector<std::string>& names);

}  // namespace sondrel
