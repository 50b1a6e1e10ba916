#include "cli/CliReport.h"

#include <sstream>

#include "cli/CliArguments.h"
#include "cli/CliPing.h"
#include "cli/CliRuns.h"
#include "core/report/Report.h"
#include "core/ports/FileService.h"
#include "ping/RunLog.h"

namespace sondrel::cli {

std::string ReportUsageText() {
  return "Usage: sondrel-cli report [-p MINUTES] [--by-size] [--csv] [-o FILE]\n"
         "       sondrel-cli report --run ID [-p MINUTES] [--by-size] [--csv] [-o FILE]\n"
         "\n"
         "Writes the summary report of the last ping test logged in the data folder\n"
         "(the run the window shows as the previous one, reloaded whatever its size),\n"
         "in the layout of the report window's export, every line ending in CR LF.\n"
         "\n"
         "  -p MINUTES   length of a period. Periods are cut at whole clock minutes\n"
         "               (seconds do not count), so a fraction groups as the whole\n"
         "               number above it: 0.25 groups as 1, 2.5 as 3. A text that is\n"
         "               not a number above 0 counts as 1. Without -p: the run's\n"
         "               length in minutes div 10, at least 1, as the window proposes\n"
         "  --by-size    one row per target and buffer size instead of per period\n"
         "  --run ID     the archived run ID instead (see sondrel-cli runs)\n"
         "  --csv        the CSV layout instead of the text layout\n"
         "  -o FILE      write FILE (replaced whole) instead of standard output\n"
         "  -h, --help   show this text\n"
         "\n"
         "Exit status: 0 written; 1 no report (no logged results, or a run stopped\n"
         "before its first round); 2 bad usage; 3 the report could not be written (to\n"
         "FILE or to standard output).\n";
}

ParsedReportLine ParseReportLine(const std::vector<std::string>& args) {
  ParsedReportLine parsed;
  ReportOptions& o = parsed.options;
  const CommandArguments read =
      ReadArguments(args, {{{"h", "help"}}, {{"by-size"}}, {{"csv"}}, {{"p"}, true}, {{"o"}, true}, {{"run"}, true}});
  if (read.fault == CommandArguments::Fault::UnknownOption) {
    parsed.error = "unexpected argument '" + read.faultArgument + "'";
    return parsed;
  }
  if (read.fault == CommandArguments::Fault::MissingValue) {
    parsed.error = "option " + read.faultArgument + " needs a value";
    return parsed;
  }
  for (const auto& [name, value] : read.options) {
    if (name == "h") {
      o.help = true;
    } else if (name == "by-size") {
      o.bySize = true;
    } else if (name == "csv") {
      o.csv = true;
    } else if (name == "p") {
      o.minutesText = value;
    } else if (name == "run") {
      const Result<std::int64_t> id = ReadRunId(value);
      if (!id) {
        parsed.error = id.error().message;
        return parsed;
      }
      o.runId = id.value();
    } else if (value.empty()) {
      parsed.error = "option -o needs a file name";
      return parsed;
    } else {
      o.output = value;
    }
  }
  if (!read.positionals.empty()) parsed.error = "unexpected argument '" + read.positionals.front() + "'";
  return parsed;
}

int RunReport(const ReportOptions& options, const std::string& dataFolder, FileService& files,
              std::ostream& out, std::ostream& err) {
  RunLog log(dataFolder, files);
  RunData run;
  if (options.runId != 0) {
    Result<RunData> archived = LoadArchivedRun(options.runId, dataFolder, files);
    if (!archived) {
      err << "sondrel-cli: " << archived.error().message << "\n";
      return archived.error().code == ENOENT ? kExitNoReply : kExitCannotStart;
    }
    run = std::move(archived.value());
  } else if (auto loaded = log.loadPreviousRun(); loaded) {
    run = std::move(loaded.value());
  } else if (loaded.error().code == ENOMEM) {
    err << loaded.error().message << "\n";
    return kExitNoReply;
  }
  if (run.damagedLines > 0)
    err << "sondrel-cli: " << DamagedLinesText(run.damagedLines, log.logPath()) << "\n";
  const std::string minutesText =
      options.minutesText.empty() ? ProposedPeriodText(run) : options.minutesText;
  auto report = BuildReport(run, PeriodMinutesFromText(minutesText),
                            options.bySize ? ReportGrouping::BufferSize
                                           : ReportGrouping::TimePeriod);
  if (!report) {
    err << report.error().message << "\n";
    return kExitNoReply;
  }
  std::ostringstream bytes;
  if (options.csv)
    ExportReportCsv(bytes, report.value());
  else
    ExportReportText(bytes, report.value());
  if (options.output.empty()) {
    out << bytes.str();
    out.flush();
    if (out) return kExitReplied;
    err << "sondrel-cli: the report could not be written to standard output\n";
    return kExitCannotStart;
  }
  if (auto written = files.replaceFile(options.output, bytes.str()); !written) {
    err << "sondrel-cli: " << written.error().message << "\n";
    return kExitCannotStart;
  }
  return kExitReplied;
}

}  // namespace sondrel::cli
