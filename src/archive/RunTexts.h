#pragma once
// How an archived run is named to the user, the same in the runs window and
// in the command line's list.

#include <string>

#include "archive/RunArchive.h"

namespace sondrel {

// "window", "command line", "imported".
const char* RunOriginText(RunOrigin origin);
// "running", "count reached", "stopped", "scheduled end", "crashed".
const char* RunEndingText(RunEnding ending);
// "1:02:03": hours, minutes and seconds.
std::string RunDurationText(std::int64_t us);
// The first targets' names, ", " between, and ", ..." when there are more.
std::string RunTargetsText(const RunSummary& run);

}  // namespace sondrel
