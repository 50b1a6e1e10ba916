#include "cli/CliExport.h"

#include <sstream>

#include "cli/CliArguments.h"
#include "cli/CliPing.h"
#include "cli/CliRuns.h"
#include "core/results/PingExport.h"
#include "core/ports/FileService.h"
#include "results/ResultsExport.h"
#include "ping/RunLog.h"

namespace sondrel::cli {

std::string ExportUsageText() {
  return "Usage: sondrel-cli export [--csv] [-o FILE] [--delete-log]\n"
         "       sondrel-cli export --run ID [--csv] [-o FILE]\n"
         "\n"
         "Writes the ping results of the last logged run (the one the window shows as\n"
         "the previous run) in the window's export layout, every line ending in CR LF.\n"
         "\n"
         "Options:\n"
         "  --run ID       the archived run ID instead (see sondrel-cli runs); nothing\n"
         "                 is deleted\n"
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
  const CommandArguments read =
      ReadArguments(args, {{{"h", "help"}}, {{"csv"}}, {{"delete-log"}}, {{"o", "output"}, true}, {{"run"}, true}});
  if (read.fault == CommandArguments::Fault::UnknownOption) {
    out.error = "unknown option '" + read.faultArgument + "'";
    return out;
  }
  if (read.fault == CommandArguments::Fault::MissingValue) {
    out.error = "option '" + read.faultArgument + "' needs a file";
    return out;
  }
  for (const auto& [name, value] : read.options) {
    if (name == "h") {
      o.help = true;
    } else if (name == "csv") {
      o.csv = true;
    } else if (name == "delete-log") {
      o.deleteLog = true;
    } else if (name == "run") {
      const Result<std::int64_t> id = ReadRunId(value);
      if (!id) {
        out.error = id.error().message;
        return out;
      }
      o.runId = id.value();
    } else if (value.empty()) {
      out.error = "empty output file";
      return out;
    } else if (!o.outFile.empty()) {
      out.error = "more than one output file";
      return out;
    } else {
      o.outFile = value;
    }
  }
  if (!read.positionals.empty()) out.error = "unexpected argument '" + read.positionals.front() + "'";
  // The archive keeps its runs: only the log is deleted after an export.
  if (out.error.empty() && o.runId != 0 && o.deleteLog) out.error = "--delete-log is for the logged run, not --run";
  return out;
}

namespace {

// The export of `run` on `out` or into the -o file.
int WriteExport(const ExportOptions& options, const RunData& run, FileService& files, std::FILE* out,
                std::FILE* err) {
  std::ostringstream bytes;
  if (options.csv)
    ExportPingCsv(bytes, run);
  else
    ExportPingText(bytes, run);
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
  return kExitReplied;
}

}  // namespace

int RunExport(const ExportOptions& options, const std::string& dataFolder, FileService& files,
              std::FILE* out, std::FILE* err) {
  RunLog log(dataFolder, files);
  if (options.runId != 0) {
    Result<RunData> archived = LoadArchivedRun(options.runId, dataFolder, files);
    if (!archived) {
      std::fprintf(err, "sondrel-cli: %s\n", archived.error().message.c_str());
      return archived.error().code == ENOENT ? kExitNoReply : kExitCannotStart;
    }
    if (archived.value().records.empty()) {
      std::fprintf(err, "%s\n", kNoDataText);
      return kExitNoReply;
    }
    return WriteExport(options, archived.value(), files, out, err);
  }
  // Whatever its size: there is no one to ask, and the caller asked for it.
  Result<RunData> run = log.loadPreviousRun();
  if (!run || run.value().records.empty()) {
    std::fprintf(err, "%s\n", kNoDataText);
    return kExitNoReply;
  }
  if (run.value().damagedLines > 0)
    std::fprintf(err, "sondrel-cli: %s\n",
                 DamagedLinesText(run.value().damagedLines, log.logPath()).c_str());
  if (const int written = WriteExport(options, run.value(), files, out, err); written != kExitReplied)
    return written;
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
