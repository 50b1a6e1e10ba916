#pragma once
// A worker's report checked before the scan table takes it. Workers are
// separate programs; whatever one sends, only a report of one of the two
// shapes the worker writes is stored, with its names made safe to show and
// to export.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace sondrel {

struct CheckedReport {
  std::size_t index = 0;
  // "INDEX,Dead" or "INDEX,MS,TTL,HOST,MAC" in the worker's own form.
  std::string text;
  // A live host's first report, which its name lookup's follows: no host,
  // no MAC.
  bool nameToCome = false;
};

// Accepts "INDEX,Dead" and "INDEX,MS,TTL,HOST,MAC" (fields after the MAC are
// ignored, an absent MAC is empty), INDEX, MS and TTL decimal numbers of at
// most ten digits, blanks around fields allowed. HOST and MAC lose commas and
// control characters (CleanReportName); a MAC that is not six hexadecimal
// pairs joined by "-" becomes empty, one that is comes in upper case.
std::optional<CheckedReport> CheckWorkerReport(std::string_view text);

}  // namespace sondrel
