#pragma once
// What the scan grid shows: the rows of its 21-row window, the text and
// colour of a row, the filters and the member text of a new group.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/scan/ScanRecord.h"

namespace sondrel {

inline constexpr int kScanGridRows = 21;

// Colours as 0xRRGGBB.
inline constexpr std::uint32_t kScanEmptyColour = 0x404040;
inline constexpr std::uint32_t kScanDeadColour = 0x808080;
inline constexpr std::uint32_t kScanPendingColour = 0xC0C0C0;
inline constexpr std::uint32_t kScanLiveColour = 0xC0C0FF;

struct ScanRowWindow {
  int first = 0;
  int last = -1;  // last < first: nothing to show
};

// The rows shown for scroll value `value` and scroll maximum `maximum` over
// `count` records; never past the last record.
ScanRowWindow ChooseScanWindow(int value, int count, int maximum);

// The scroll bar for `count` records: maximum count - 1; minimum 20 when the
// maximum is 21 or more, else the maximum.
struct ScanScrollRange {
  int minimum = 0;
  int maximum = 0;
};
ScanScrollRange ScanScrollFor(int count);

// A row whose report will not come any more.
inline constexpr char kScanNotReportedText[] = "No report";

struct ScanRowText {
  std::string number;  // "k."
  std::string ms;      // "Dead", "Ping ...", kScanNotReportedText, or "N ms"
  std::uint32_t colour = kScanPendingColour;
};
ScanRowText FormatScanRow(const ScanRecord& record, int index);

// "All", "Active" (answered) or "Inactive" ("Dead"); records keep their order.
ScanTable FilterScan(const ScanTable& table, std::string_view mode);

// The members of a new group from the records of `mode`: "address (host)"
// each, CR LF between, " ()" removed for records without a host name.
std::string ScanGroupMembers(const ScanTable& table, std::string_view mode);

}  // namespace sondrel
