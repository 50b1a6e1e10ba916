#pragma once
// Alert rules and when they fire. A rule watches one condition of each
// target it applies to: an outage (as the monitor finds them), the recent
// window's loss at or above a percentage, or its median or 95th-percentile
// round trip at or above a time. A rule fires once when its condition
// becomes true and once when it clears, with hysteresis: loss clears at or
// below a lower percentage, a round trip below a lower time. A target whose
// condition flaps is told at most once per minimum interval; the changes
// held back meanwhile are folded into the next alert, which tells the state
// at its moment and how many changes it stands for. A clear that follows
// its told raise is told at once, so one outage is told as it begins and as
// it ends; it is the next raise within the interval that waits. Plain C++; times are
// microseconds since 1970 UTC.

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/monitor/Outages.h"

namespace sondrel {

enum class AlertKind { Outage, Loss, Latency };
enum class LatencyMeasure { Median, P95 };
enum class AlertEvent { OutageStart, OutageEnd, Loss, LossClear, Latency, LatencyClear };

// "outage-start", "outage-end", "loss", "loss-clear", "latency",
// "latency-clear": the names a user's command is given.
std::string_view EventName(AlertEvent event);
// Whether the event tells a condition that became true (not one cleared).
bool IsRaise(AlertEvent event);

struct AlertRule {
  std::string name;
  AlertKind kind = AlertKind::Outage;
  // Loss: fires at or above raisePercent, clears at or below clearPercent.
  double raisePercent = 10, clearPercent = 5;
  // Latency: fires at or above raiseMs, clears below clearMs.
  LatencyMeasure measure = LatencyMeasure::Median;
  double raiseMs = 100, clearMs = 80;
  // Labels, addresses or group names; empty: every target.
  std::vector<std::string> targets;
};

// What a target is known by, for a rule's list of targets.
struct AlertTarget {
  std::string label, address, group;
};
bool RuleApplies(const AlertRule& rule, const AlertTarget& target);

struct Alert {
  std::size_t rule = 0;
  std::uint32_t target = 0;
  AlertEvent event = AlertEvent::OutageStart;
  std::int64_t sinceUtcUs = 0;  // when the told state began
  std::int64_t atUtcUs = 0;     // when it was told
  std::int64_t durationUs = 0;  // a clear: how long the condition held (an outage: its length)
  double lossPercent = 0;       // the window's loss when told
  std::optional<double> rttMs;  // the rule's round trip (latency rules), or the last reply's
  int folded = 0;               // changes held back and told with this one
};

class AlertEngine {
 public:
  static constexpr std::int64_t kDefaultMinIntervalUs = 60'000'000;

  AlertEngine(std::vector<AlertRule> rules, std::vector<AlertTarget> targets,
              std::int64_t minIntervalUs = kDefaultMinIntervalUs);

  // An outage of its target began or ended.
  void outageBegan(const Outage& outage, std::int64_t nowUtcUs);
  void outageEnded(const Outage& outage, std::int64_t nowUtcUs);
  // A target's recent window: its loss and round trips (none without replies).
  void figures(std::uint32_t target, double lossPercent, std::optional<std::int64_t> medianUs,
               std::optional<std::int64_t> p95Us, std::int64_t nowUtcUs);
  // Tells what was held back once its target's interval has passed.
  void tick(std::int64_t nowUtcUs);
  // Tells everything held back now (the run has ended).
  void flush(std::int64_t nowUtcUs);
  // The alerts told since the last call, in the order told.
  std::vector<Alert> take();

  const std::vector<AlertRule>& rules() const { return rules_; }
  // Whether rule `rule`'s condition holds for `target` now (told or not).
  bool active(std::size_t rule, std::uint32_t target) const;

 private:
  struct State {
    bool applies = false;
    bool active = false;
    std::int64_t since = 0;
    std::int64_t lastToldUs = std::numeric_limits<std::int64_t>::min();
    bool toldActive = false;  // what the last alert told
    int held = 0;  // changes since the last alert, not told
    Alert pending;
  };
  State* stateOf(std::size_t rule, std::uint32_t target);
  void change(State& state, Alert alert, std::int64_t nowUtcUs);
  void tell(State& state, Alert alert, std::int64_t nowUtcUs);

  std::vector<AlertRule> rules_;
  std::size_t targetCount_;
  std::int64_t minIntervalUs_;
  std::vector<State> states_;  // rule-major
  std::vector<double> lastLoss_;
  std::vector<Alert> told_;
};

}  // namespace sondrel
