#pragma once
// Scheduling priority of this process and of others (no Qt: the scan worker
// links this).

#include <optional>

namespace sondrel {

// Adds `increment` to this process's niceness, so that it gets the processors
// after the programs at normal priority. False when the system refused.
bool LowerOwnPriority(int increment);

// The niceness of process `pid`, or nothing when it cannot be read.
std::optional<int> ProcessNiceness(long pid);

}  // namespace sondrel
