#pragma once
// "sondrel-cli report": the summary report of the last logged run, in the
// text or CSV layout of the report window's export.

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace sondrel {
class FileService;
}

namespace sondrel::cli {

struct ReportOptions {
  bool help = false;
  std::string minutesText;  // -p as typed; empty: the window's proposal
  bool bySize = false;
  bool csv = false;
  std::string output;  // -o FILE; empty: standard output
  std::int64_t runId = 0;  // --run: an archived run instead of the logged one
};

struct ParsedReportLine {
  ReportOptions options;
  std::string error;  // empty when the command line was understood
  bool ok() const { return error.empty(); }
};

// The arguments after "report".
ParsedReportLine ParseReportLine(const std::vector<std::string>& args);
std::string ReportUsageText();

// Reloads the run logged in `dataFolder` (ending in "/") and writes its report
// to `out` or to the -o file. A refusal goes to `err`: exit 1, no file.
int RunReport(const ReportOptions& options, const std::string& dataFolder, FileService& files,
              std::ostream& out, std::ostream& err);

}  // namespace sondrel::cli
