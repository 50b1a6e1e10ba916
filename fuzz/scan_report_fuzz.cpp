// A scan worker's report stream of any bytes: cut into frames whole or a few
// bytes at a time, the frames are the same; a frame written again reads back
// as itself; every report lands in the table or only in the count received,
// and a live or dead record written back as a report gives the same record.
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/scan/ScanWire.h"

using namespace sondrel;

namespace {

constexpr std::size_t kTableSize = 16;

template <typename Number>
bool decimal(const std::string& text, Number& value) {
  if (text.empty() || text[0] == '-') return false;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

bool sameRecord(const ScanRecord& a, const ScanRecord& b) {
  return a.ip == b.ip && a.ms == b.ms && a.host == b.host && a.mac == b.mac && a.ttl == b.ttl;
}

// Writes the record at `index` back as the worker would report it and
// checks the report gives the same record.
void roundTrip(const ScanRecord& record, std::size_t index) {
  std::string report;
  ScanRecord expected;
  if (record.dead()) {
    report = DeadReport(std::to_string(index));
    expected.ms = "Dead";
  } else {
    std::uint32_t ms = 0;
    unsigned ttl = 0;
    if (!decimal(record.ms, ms) || !decimal(record.ttl, ttl)) return;
    report = LiveReport(std::to_string(index), ms, ttl, record.host, record.mac);
    expected.ms = std::to_string(ms);
    expected.ttl = std::to_string(ttl);
    expected.host = CleanReportName(record.host);
    expected.mac = CleanReportName(record.mac);
    if (expected.mac.size() > 17) expected.mac.clear();
  }
  ScanTable table(kTableSize);
  ScanCounters counters;
  ApplyScanReport(report, table, counters);
  // A name too long for its report comes cut: a part of it and the mark.
  const std::string& host = table[index].host;
  const std::size_t mark = kNameCutMark.size();
  if (host != expected.host && report.size() <= kMaxReportText && host.size() >= mark &&
      host.compare(host.size() - mark, mark, kNameCutMark) == 0 &&
      expected.host.compare(0, host.size() - mark, host, 0, host.size() - mark) == 0)
    expected.host = host;
  if (!sameRecord(table[index], expected)) std::abort();
  if (counters.received != 1 || counters.reportsShown != 1 ||
      counters.active + counters.inactive != 1)
    std::abort();
  // The frame the worker sends it in holds it whole.
  if (report.size() + 2 <= kReportFrameBytes) {
    ReportFrameReader reader;
    std::vector<ReportFrame> frames;
    reader.feed(EncodeReportFrame(report), frames);
    if (frames.size() != 1 || frames[0].text != report) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  ReportFrameReader whole;
  std::vector<ReportFrame> frames;
  whole.feed(bytes, frames);

  ReportFrameReader pieces;
  std::vector<ReportFrame> again;
  const std::size_t step = size ? 1 + data[0] % 7 : 1;
  for (std::size_t at = 0; at < size; at += step) pieces.feed(bytes.substr(at, step), again);
  if (again.size() != frames.size()) std::abort();

  ScanTable table(kTableSize);
  ScanCounters counters;
  std::int32_t reports = 0;
  for (std::size_t k = 0; k < frames.size(); ++k) {
    const ReportFrame& f = frames[k];
    if (f.identifier != again[k].identifier || f.text != again[k].text) std::abort();
    if (f.text.size() + 2 > kReportFrameBytes || f.text.find('\0') != std::string::npos)
      std::abort();
    ReportFrameReader reread;
    std::vector<ReportFrame> one;
    reread.feed(EncodeReportFrame(f.text, f.identifier), one);
    if (f.identifier != 0 &&
        (one.size() != 1 || one[0].identifier != f.identifier || one[0].text != f.text))
      std::abort();

    if (f.identifier != kReportIdentifier) continue;
    ApplyScanReport(f.text, table, counters);
    ++reports;
  }
  if (counters.received != reports || counters.reportsShown > counters.received ||
      counters.active + counters.inactive > counters.reportsShown)
    std::abort();
  for (std::size_t k = 0; k < table.size(); ++k)
    if (!table[k].pending()) roundTrip(table[k], k);
  return 0;
}
