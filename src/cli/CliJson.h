#pragma once
// The command line's --json output: one JSON object per line on standard
// output in place of the rows and the statistics block, for programs to
// read (the fields are listed in README.md, "JSON lines").

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/scan/ScanRecord.h"
#include "core/scan/ScanWire.h"
#include "ping/RunReader.h"

namespace sondrel {
class RunMonitor;
}

namespace sondrel::cli {

// A moment (microseconds since 1970 UTC) in RFC 3339 with milliseconds, in
// the system's time zone as it was at that moment.
std::string LocalRfc3339(std::int64_t utcUs);

// The run's results as "result" lines, each written and flushed as it comes,
// with the round trip the carrier measured. `unread` is called when the
// output has nobody reading it any more.
class JsonResults final : public RunReader {
 public:
  JsonResults(std::FILE* out, std::function<void()> unread) : out_(out), unread_(std::move(unread)) {}

  void runStarted(const RunData& run, const PingParameters& parameters) override;
  void resultAdded(std::int64_t row, const ResultRecord& record, const EchoDetail& echo) override;

  // One result's line.
  static std::string lineOf(const ResultRecord& record, const EchoDetail& echo, const std::string& target,
                            const std::string& address);

 private:
  std::FILE* out_;
  std::function<void()> unread_;
  std::vector<std::string> addresses_, names_;
};

// The end of a run: a "summary" line per target with its figures, the
// "total" line with the run's statistics, and an "outage" line per outage.
std::vector<std::string> PingEndJson(const RunData& run, const RunMonitor& monitor);

// A scan: a "host" line per address in scan order, then the "scan_summary"
// line with the totals, stamped `utcUs`.
std::vector<std::string> ScanJson(const ScanTable& table, const ScanCounters& counters, std::int64_t utcUs);

}  // namespace sondrel::cli
