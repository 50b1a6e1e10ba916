#include "archive/RunTexts.h"

#include <cstdio>

namespace sondrel {

const char* RunOriginText(RunOrigin origin) {
  switch (origin) {
    case RunOrigin::Window:
      return "window";
    case RunOrigin::CommandLine:
      return "command line";
    case RunOrigin::Imported:
      return "imported";
    case RunOrigin::Monitor:
      return "monitor";
  }
  return "";
}

const char* RunEndingText(RunEnding ending) {
  switch (ending) {
    case RunEnding::Running:
      return "running";
    case RunEnding::CountReached:
      return "count reached";
    case RunEnding::Stopped:
      return "stopped";
    case RunEnding::ScheduledEnd:
      return "scheduled end";
    case RunEnding::Crashed:
      return "crashed";
  }
  return "";
}

std::string RunDurationText(std::int64_t us) {
  const std::int64_t s = us / 1'000'000;
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
  return text;
}

std::string RunTargetsText(const RunSummary& run) {
  std::string text;
  for (const std::string& label : run.firstLabels) text += (text.empty() ? "" : ", ") + label;
  if (run.targetCount > static_cast<std::int32_t>(run.firstLabels.size())) text += ", ...";
  return text;
}

}  // namespace sondrel
