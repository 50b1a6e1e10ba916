#include "core/scan/ScanGridRules.h"

#include <algorithm>

#include "core/common/AddressHelpers.h"

namespace sondrel {

ScanRowWindow ChooseScanWindow(int value, int count, int maximum) {
  ScanRowWindow w;
  if (count <= 0) return w;
  if (count >= kScanGridRows && value < kScanGridRows - 1) {
    w = {0, kScanGridRows - 1};
  } else if (count < kScanGridRows - 1 && value < kScanGridRows - 1) {
    w = {0, maximum};
  } else {
    w = {std::max(0, value - (kScanGridRows - 1)), value};
  }
  w.first = std::max(0, w.first);
  w.last = std::min(w.last, count - 1);
  return w;
}

ScanScrollRange ScanScrollFor(int count) {
  ScanScrollRange r;
  r.maximum = std::max(0, count - 1);
  r.minimum = r.maximum >= kScanGridRows ? kScanGridRows - 1 : r.maximum;
  return r;
}

ScanRowText FormatScanRow(const ScanRecord& record, int index) {
  ScanRowText row;
  row.number = std::to_string(index + 1) + ".";
  const std::string ms = TrimBlanks(record.ms);
  if (ms == "Dead") {
    row.ms = "Dead";
    row.colour = kScanDeadColour;
  } else if (ms.empty() && record.notReported) {
    row.ms = kScanNotReportedText;
  } else if (ms.empty()) {
    row.ms = "Ping ...";
    row.colour = kScanPendingColour;
  } else {
    row.ms = ms + " ms";
    row.colour = kScanLiveColour;
  }
  return row;
}

namespace {

bool Selected(const ScanRecord& r, std::string_view mode) {
  const std::string ms = TrimBlanks(r.ms);
  if (mode == "Active") return !ms.empty() && ms != "Dead";
  if (mode == "Inactive") return ms == "Dead";
  return true;
}

}  // namespace

ScanTable FilterScan(const ScanTable& table, std::string_view mode) {
  ScanTable out;
  for (const ScanRecord& r : table)
    if (Selected(r, mode)) out.push_back(r);
  return out;
}

std::string ScanGroupMembers(const ScanTable& table, std::string_view mode) {
  std::string text;
  bool first = true;
  for (const ScanRecord& r : table) {
    if (!Selected(r, mode)) continue;
    if (!first) text += "\r\n";
    first = false;
    text += r.ip + " (" + r.host + ")";
  }
  for (std::size_t at; (at = text.find(" ()")) != std::string::npos;) text.erase(at, 3);
  return text;
}

}  // namespace sondrel
