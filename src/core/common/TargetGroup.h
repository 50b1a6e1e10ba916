#pragma once
// A run of a ping run's targets that came from one named list entry (a
// group or a range): targets first .. first + count - 1 of the run.

#include <cstddef>
#include <string>
#include <vector>

namespace sondrel {

struct TargetGroup {
  std::size_t first = 0;
  std::size_t count = 0;
  std::string name;
};

// The name of the group target `index` came from; "" when none.
inline const std::string& GroupOf(const std::vector<TargetGroup>& groups, std::size_t index) {
  static const std::string kNone;
  for (const TargetGroup& g : groups)
    if (index >= g.first && index - g.first < g.count) return g.name;
  return kNone;
}

}  // namespace sondrel
