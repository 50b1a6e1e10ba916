#include "cli/CliExport.h"

#include <sstream>

#include "cli/CliPing.h"
#include "core/PingExport.h"
#include "core/ports/FileService.h"
#include "results/ResultsExport.h"
#include "results/RunLog.h"

namespace sondrel::cli {

std::string ExportUsageText() {
  return "Usage: sondrel-cli export [--csv] [-o FILE] [--delete-log]\n"
         "\n"
         "Writes the ping results of the last logged run (the one the window shows as\n"
         "the previous run) in the window's export layout, every line ending in CR LF.\n"
         "\n"
         "Options:\n"
         "  --csv          comma-separated values instead of text\n"
         "  -o FILE        write to FILE (replaced whole once complete) instead of\n"
         "                 standard output\n"
         "  --delete-log   delete the run log once the export is complete, as the\n"
         "                 window's Export does; it is kept otherwise\n"
         "  -h, --help     show this text\n"
         "\n"
         "Exit status:\n"
         "  0  written\n"
         "  1  no logged result: nothing written\n"
         "  2  bad usage\n"
         "  3  the file could not be written, or the log could not be deleted (also\n     when it changed since it was read: a newer run is kept)\n";
}

ParsedExport ParseExportCommandLine(const std::vector<std::string>& args) {
  ParsedExport out;
  ExportOptions& o = out.options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-h" || a == "--help") {
      o.help = true;
    } else if (a == "--csv") {
      o.csv = true;
    } else if (a == "--delete-log") {
      o.deleteLog = true;
    } else if (a == "-o" || a == "--output" || a.rfind("-o", 0) == 0 || a.rfind("--output=", 0) == 0) {
      std::string value;
      if (a == "-o" || a == "--output") {
        if (i + 1 == args.size()) {
          out.error = "option '" + a + "' needs a file";
          return out;
        }
        value = args[++i];
      } else {
        value = a.rfind("--output=", 0) == 0 ? a.substr(9) : a.substr(2);
      }
      if (value.empty()) {
        out.error = "empty output file";
        return out;
      }
      if (!o.outFile.empty()) {
        out.error = "more than one output file";
        return out;
      }
      o.outFile = value;
    } else {
      out.error = a.rfind('-', 0) == 0 ? "unknown option '" + a + "'"
                                        : "unexpected argument '" + a + "'";
      return out;
    }
  }
  return out;
}

int RunExport(const ExportOptions& options, const std::string& dataFolder, FileService& files,
              std::FILE* out, std::FILE* err) {
  RunLog log(dataFolder, files);
  // Whatever its size: there is no one to ask, and the caller asked for it.
  Result<RunData> run = log.loadPreviousRun();
  if (!run || run.value().records.empty()) {
    std::fprintf(err, "%s\n", kNoDataText);
    return kExitNoReply;
  }
  if (run.value().damagedLines > 0)
    std::fprintf(err, "sondrel-cli: %s\n",
                 DamagedLinesText(run.value().damagedLines, log.logPath()).c_str());
  std::ostringstream bytes;
  if (options.csv)
    ExportPingCsv(bytes, run.value());
  else
    ExportPingText(bytes, run.value());
  const std::string text = bytes.str();
  if (options.outFile.empty()) {
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fflush(out) != 0) {
      std::fprintf(err, "sondrel-cli: the export could not be written to standard output\n");
      return kExitCannotStart;
    }
  } else if (Result<void> written = files.replaceFile(options.outFile, text); !written) {
    std::fprintf(err, "sondrel-cli: cannot write %s: %s\n", options.outFile.c_str(),
                 written.error().message.c_str());
    return kExitCannotStart;
  }
  if (options.deleteLog) {
    // Only the log that was read: a run logged since is not in this export.
    const RunLog::Deletion deleted = log.DeleteExportedRunLog(run.value().logStamp);
    if (deleted == RunLog::Deletion::KeptOther) {
      std::fprintf(err,
                   "sondrel-cli: the run log was kept: it has changed since it was read, so "
                   "it holds results that are not in this export\n");
      return kExitCannotStart;
    }
    if (deleted == RunLog::Deletion::Busy || deleted == RunLog::Deletion::Failed) {
      std::fprintf(err,
                   "sondrel-cli: the run log was kept: a ping test is logging into it, or it "
                   "could not be removed\n");
      return kExitCannotStart;
    }
  }
  return kExitReplied;
}

}  // namespace sondrel::cli
