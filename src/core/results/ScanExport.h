#pragma once
// The scan results file: totals, then the active (and pending) records, then
// the dead ones. The same lines serve the ".txt" and ".csv" exports and the
// command line's scan output.

#include <ostream>
#include <string>

#include "core/scan/ScanRecord.h"

namespace sondrel {

// The three counter captions as shown above the scan grid.
struct ScanTotals {
  std::string total;
  std::string active;
  std::string inactive;
};

// A cell that a spreadsheet would take for a formula ("=", "+", "-", "@" at
// its start) gets a leading "'". Used for text that comes from the network.
std::string GuardCell(const std::string& cell);
// GuardCell on every comma-separated cell of `cells`, for a text that may
// hold commas of its own (a target label) where a CSV line takes it.
std::string GuardCells(const std::string& cells);

// Writes the whole export, every line ending in CR LF. `dateText` is the
// moment of the export in the system's general date format.
void WriteScanExport(std::ostream& out, const std::string& dateText,
                     const ScanTotals& totals, const ScanTable& table);

}  // namespace sondrel
