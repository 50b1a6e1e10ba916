#include "core/monitor/Outages.h"

#include <algorithm>

namespace sondrel {

OutageTracker::OutageTracker(int threshold) : threshold_(std::clamp(threshold, kMinThreshold, kMaxThreshold)) {}

OutageTracker::TargetState& OutageTracker::stateOf(std::uint32_t target) {
  if (target >= targets_.size()) targets_.resize(std::size_t{target} + 1);
  return targets_[target];
}

OutageTracker::Change OutageTracker::add(std::uint32_t target, std::int64_t sentUtcUs, bool replied) {
  TargetState& t = stateOf(target);
  t.lastSentUs = sentUtcUs;
  if (replied) {
    t.lostInARow = 0;
    if (t.open < 0) return Change::None;
    lastChanged_ = static_cast<std::size_t>(t.open);
    outages_[lastChanged_].endUtcUs = sentUtcUs;
    t.open = -1;
    return Change::Ended;
  }
  if (t.lostInARow++ == 0) t.firstLostUs = sentUtcUs;
  if (t.open >= 0) {
    ++outages_[static_cast<std::size_t>(t.open)].lostEchoes;
    return Change::None;
  }
  if (t.lostInARow < threshold_) return Change::None;
  t.open = static_cast<std::int64_t>(outages_.size());
  outages_.push_back({target, t.firstLostUs, -1, t.lostInARow});
  lastChanged_ = outages_.size() - 1;
  return Change::Began;
}

void OutageTracker::closeAll() {
  for (TargetState& t : targets_) {
    if (t.open < 0) continue;
    outages_[static_cast<std::size_t>(t.open)].endUtcUs = t.lastSentUs;
    t.open = -1;
  }
}

const Outage* OutageTracker::current(std::uint32_t target) const {
  if (target >= targets_.size() || targets_[target].open < 0) return nullptr;
  return &outages_[static_cast<std::size_t>(targets_[target].open)];
}

std::int64_t OutageTracker::lostInARow(std::uint32_t target) const {
  return target < targets_.size() ? targets_[target].lostInARow : 0;
}

DownTime DownTimeWithin(const std::vector<Outage>& outages, std::uint32_t target, std::int64_t fromUs,
                        std::int64_t toUs, std::int64_t nowUtcUs) {
  DownTime d;
  for (const Outage& o : outages) {
    if (o.target != target) continue;
    if (o.startUtcUs >= fromUs && o.startUtcUs < toUs) ++d.outages;
    const std::int64_t end = o.ongoing() ? std::max(o.startUtcUs, nowUtcUs) : o.endUtcUs;
    const std::int64_t a = std::max(o.startUtcUs, fromUs), b = std::min(end, toUs);
    if (b > a) d.downUs += b - a;
  }
  return d;
}

}  // namespace sondrel
