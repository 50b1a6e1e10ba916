// The run log reload on any log and target file. The first byte splits the
// input into the two files. Every result line that reloads whole is written
// back by the log writer to a line that reloads to the same record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/ping/RunRecords.h"

using namespace sondrel;

namespace {
bool sameRecord(const ResultRecord& a, const ResultRecord& b) {
  return a.when.year == b.when.year && a.when.month == b.when.month && a.when.day == b.when.day &&
         a.when.hour == b.when.hour && a.when.minute == b.when.minute &&
         a.when.second == b.when.second && a.bufferSize == b.bufferSize && a.time == b.time &&
         a.status == b.status && a.ttl == b.ttl;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view all(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t cut = std::min<std::size_t>(data[0] * 4u, all.size());
  const std::string_view targets = all.substr(0, cut);
  const std::string_view log = all.substr(cut);

  RunData run;
  if (LoadRunLog(log, (data[0] & 1) ? &targets : nullptr, run)) {
    for (const ResultRecord& r : run.records) {
      (void)FormatResultRow(run, r);
      (void)FormatResultTimeLong(r);
    }
    (void)FormatStatistics(run.stats);
  }

  // Each line on its own through the line parser and back through the writer.
  std::size_t pos = 0;
  while (pos < log.size()) {
    std::size_t end = log.find('\n', pos);
    if (end == std::string_view::npos) end = log.size();
    const std::string_view line = log.substr(pos, end - pos);
    pos = end + 1;
    RunData one;
    ResultRecord record;
    if (!ParseLogLine(line, one, record)) continue;
    const std::string written = FormatLogLine(record, one.ip(record));
    RunData two;
    ResultRecord again;
    if (!ParseLogLine(written, two, again)) std::abort();
    if (!sameRecord(record, again) || two.ip(again) != one.ip(record)) std::abort();
  }
  return 0;
}
