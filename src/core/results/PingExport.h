#pragma once
// The ping results files: a summary of the run, then every result under its
// target. Text and CSV layouts; both end every line in CR LF. The window's
// Export and the command line's export write through these, so the two give
// the same bytes for the same run.

#include <ostream>

#include "core/ping/RunRecords.h"

namespace sondrel {

// Both write nothing for a run without records (the caller says so instead).
void ExportPingText(std::ostream& out, const RunData& run);
void ExportPingCsv(std::ostream& out, const RunData& run);

}  // namespace sondrel
