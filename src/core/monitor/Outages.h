#pragma once
// Outages of a run's targets, found from its echoes as they come: an outage
// of a target begins at the send time of its first lost echo once
// `threshold` echoes in a row are lost, and ends at the send time of the
// next reply. A shorter run of losses is loss, not an outage. Times are
// microseconds since 1970 UTC.

#include <cstdint>
#include <vector>

namespace sondrel {

struct Outage {
  std::uint32_t target = 0;
  std::int64_t startUtcUs = 0;  // the first lost echo's send time
  std::int64_t endUtcUs = -1;   // the next reply's send time; -1 while it goes on
  std::int64_t lostEchoes = 0;  // lost echoes in it, so far

  bool ongoing() const { return endUtcUs < 0; }
  // Its length; one under way is measured to `nowUtcUs`.
  std::int64_t lengthUs(std::int64_t nowUtcUs) const { return (ongoing() ? nowUtcUs : endUtcUs) - startUtcUs; }
};

class OutageTracker {
 public:
  static constexpr int kDefaultThreshold = 3;
  static constexpr int kMinThreshold = 1;
  static constexpr int kMaxThreshold = 100;

  // `threshold` is held within [kMinThreshold, kMaxThreshold].
  explicit OutageTracker(int threshold = kDefaultThreshold);

  enum class Change { None, Began, Ended };
  // One echo of `target`, in the order the target's echoes were sent. Says
  // whether an outage began or ended with it; outage() then names it.
  Change add(std::uint32_t target, std::int64_t sentUtcUs, bool replied);
  // Ends every outage under way at its target's last echo sent (the run
  // ended, or its program did).
  void closeAll();

  int threshold() const { return threshold_; }
  // Every outage, in the order they began.
  const std::vector<Outage>& outages() const { return outages_; }
  // The outage that `target` is in now, or null.
  const Outage* current(std::uint32_t target) const;
  // The outage the last add() began or ended.
  const Outage& last() const { return outages_[lastChanged_]; }
  // Echoes lost in a row by `target` up to now.
  std::int64_t lostInARow(std::uint32_t target) const;

 private:
  struct TargetState {
    std::int64_t lostInARow = 0;
    std::int64_t firstLostUs = 0;
    std::int64_t lastSentUs = 0;
    std::int64_t open = -1;  // index in outages_ of the outage under way
  };
  TargetState& stateOf(std::uint32_t target);

  int threshold_;
  std::vector<TargetState> targets_;
  std::vector<Outage> outages_;
  std::size_t lastChanged_ = 0;
};

// A target's outages that began within [fromUs, toUs), and its time down
// within that span (an outage under way counts up to `nowUtcUs`).
struct DownTime {
  std::int64_t outages = 0;
  std::int64_t downUs = 0;
};
DownTime DownTimeWithin(const std::vector<Outage>& outages, std::uint32_t target, std::int64_t fromUs,
                        std::int64_t toUs, std::int64_t nowUtcUs);

}  // namespace sondrel
