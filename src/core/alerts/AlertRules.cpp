#include "core/alerts/AlertRules.h"

#include <algorithm>

namespace sondrel {

std::string_view EventName(AlertEvent event) {
  switch (event) {
    case AlertEvent::OutageStart: return "outage-start";
    case AlertEvent::OutageEnd: return "outage-end";
    case AlertEvent::Loss: return "loss";
    case AlertEvent::LossClear: return "loss-clear";
    case AlertEvent::Latency: return "latency";
    case AlertEvent::LatencyClear: return "latency-clear";
  }
  return "";
}

bool IsRaise(AlertEvent event) {
  return event == AlertEvent::OutageStart || event == AlertEvent::Loss || event == AlertEvent::Latency;
}

bool RuleApplies(const AlertRule& rule, const AlertTarget& target) {
  if (rule.targets.empty()) return true;
  return std::any_of(rule.targets.begin(), rule.targets.end(), [&](const std::string& name) {
    return !name.empty() && (name == target.label || name == target.address || name == target.group);
  });
}

AlertEngine::AlertEngine(std::vector<AlertRule> rules, std::vector<AlertTarget> targets, std::int64_t minIntervalUs)
    : rules_(std::move(rules)),
      targetCount_(targets.size()),
      minIntervalUs_(std::max<std::int64_t>(0, minIntervalUs)),
      states_(rules_.size() * targets.size()),
      lastLoss_(targets.size(), 0.0) {
  for (std::size_t r = 0; r < rules_.size(); ++r)
    for (std::size_t t = 0; t < targets.size(); ++t) states_[r * targetCount_ + t].applies = RuleApplies(rules_[r], targets[t]);
}

AlertEngine::State* AlertEngine::stateOf(std::size_t rule, std::uint32_t target) {
  if (rule >= rules_.size() || target >= targetCount_) return nullptr;
  State& s = states_[rule * targetCount_ + target];
  return s.applies ? &s : nullptr;
}

bool AlertEngine::active(std::size_t rule, std::uint32_t target) const {
  if (rule >= rules_.size() || target >= targetCount_) return false;
  return states_[rule * targetCount_ + target].active;
}

void AlertEngine::tell(State& state, Alert alert, std::int64_t nowUtcUs) {
  alert.atUtcUs = nowUtcUs;
  told_.push_back(alert);
  state.lastToldUs = nowUtcUs;
  state.toldActive = IsRaise(alert.event);
  state.held = 0;
}

void AlertEngine::change(State& state, Alert alert, std::int64_t nowUtcUs) {
  const bool clearsWhatWasTold = !IsRaise(alert.event) && state.toldActive && state.held == 0;
  const bool due = clearsWhatWasTold || state.lastToldUs == std::numeric_limits<std::int64_t>::min() ||
                   nowUtcUs - state.lastToldUs >= minIntervalUs_;
  if (due) {
    alert.folded = state.held;
    tell(state, alert, nowUtcUs);
    return;
  }
  // Too soon after the last: held, and the latest change told at the
  // interval's end with those before it.
  ++state.held;
  state.pending = alert;
}

void AlertEngine::tick(std::int64_t nowUtcUs) {
  for (State& s : states_) {
    if (s.held == 0 || nowUtcUs - s.lastToldUs < minIntervalUs_) continue;
    Alert a = s.pending;
    a.folded = s.held - 1;
    tell(s, a, nowUtcUs);
  }
}

void AlertEngine::flush(std::int64_t nowUtcUs) {
  for (State& s : states_) {
    if (s.held == 0) continue;
    Alert a = s.pending;
    a.folded = s.held - 1;
    tell(s, a, nowUtcUs);
  }
}

std::vector<Alert> AlertEngine::take() {
  std::vector<Alert> out;
  out.swap(told_);
  return out;
}

void AlertEngine::outageBegan(const Outage& outage, std::int64_t nowUtcUs) {
  for (std::size_t r = 0; r < rules_.size(); ++r) {
    State* s = rules_[r].kind == AlertKind::Outage ? stateOf(r, outage.target) : nullptr;
    if (!s || s->active) continue;
    s->active = true;
    s->since = outage.startUtcUs;
    Alert a;
    a.rule = r;
    a.target = outage.target;
    a.event = AlertEvent::OutageStart;
    a.sinceUtcUs = outage.startUtcUs;
    a.lossPercent = lastLoss_[outage.target];
    change(*s, a, nowUtcUs);
  }
}

void AlertEngine::outageEnded(const Outage& outage, std::int64_t nowUtcUs) {
  for (std::size_t r = 0; r < rules_.size(); ++r) {
    State* s = rules_[r].kind == AlertKind::Outage ? stateOf(r, outage.target) : nullptr;
    if (!s || !s->active) continue;
    s->active = false;
    const std::int64_t end = outage.ongoing() ? nowUtcUs : outage.endUtcUs;
    s->since = end;
    Alert a;
    a.rule = r;
    a.target = outage.target;
    a.event = AlertEvent::OutageEnd;
    a.sinceUtcUs = end;
    a.durationUs = end - outage.startUtcUs;
    a.lossPercent = lastLoss_[outage.target];
    change(*s, a, nowUtcUs);
  }
}

void AlertEngine::figures(std::uint32_t target, double lossPercent, std::optional<std::int64_t> medianUs,
                          std::optional<std::int64_t> p95Us, std::int64_t nowUtcUs) {
  if (target >= targetCount_) return;
  lastLoss_[target] = lossPercent;
  for (std::size_t r = 0; r < rules_.size(); ++r) {
    const AlertRule& rule = rules_[r];
    State* s = rule.kind != AlertKind::Outage ? stateOf(r, target) : nullptr;
    if (!s) continue;
    bool raise = false, clear = false;
    std::optional<double> ms;
    if (rule.kind == AlertKind::Loss) {
      raise = !s->active && lossPercent >= rule.raisePercent;
      clear = s->active && lossPercent <= rule.clearPercent;
      if (medianUs) ms = static_cast<double>(*medianUs) / 1000.0;
    } else {
      const std::optional<std::int64_t>& v = rule.measure == LatencyMeasure::Median ? medianUs : p95Us;
      if (!v) continue;  // no reply in the window: no round trip to judge
      ms = static_cast<double>(*v) / 1000.0;
      raise = !s->active && *ms >= rule.raiseMs;
      clear = s->active && *ms < rule.clearMs;
    }
    if (!raise && !clear) continue;
    Alert a;
    a.rule = r;
    a.target = target;
    a.lossPercent = lossPercent;
    a.rttMs = ms;
    a.sinceUtcUs = nowUtcUs;
    if (raise) {
      a.event = rule.kind == AlertKind::Loss ? AlertEvent::Loss : AlertEvent::Latency;
    } else {
      a.event = rule.kind == AlertKind::Loss ? AlertEvent::LossClear : AlertEvent::LatencyClear;
      a.durationUs = nowUtcUs - s->since;
    }
    s->active = raise;
    s->since = nowUtcUs;
    change(*s, a, nowUtcUs);
  }
}

}  // namespace sondrel
