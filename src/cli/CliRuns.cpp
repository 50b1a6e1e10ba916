#include "cli/CliRuns.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <limits>
#include <sstream>

#include "archive/RunArchive.h"
#include "archive/RunTexts.h"
#include "core/common/CsvField.h"
#include "core/monitor/Outages.h"
#include "monitor/RunMonitor.h"
#include "cli/CliArguments.h"
#include "cli/CliPing.h"
#include "core/ports/FileService.h"
#include "core/results/PingExport.h"

namespace sondrel::cli {
namespace {

Result<std::unique_ptr<RunArchive>> OpenArchive(const std::string& dataFolder, FileService& files,
                                                ArchiveAccess access) {
  const std::string path = dataFolder + kArchiveFile;
  if (!files.fileExists(path)) return Error{ENOENT, "No run has been archived yet (" + path + ")."};
  return RunArchive::open(files, path, access);
}

}  // namespace

std::optional<std::int64_t> ParseRunId(const std::string& text) {
  std::int64_t id = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, id);
  if (ec != std::errc() || ptr != end || id <= 0) return std::nullopt;
  return id;
}

Result<std::int64_t> ReadRunId(const std::string& text) {
  if (const std::optional<std::int64_t> id = ParseRunId(text)) return *id;
  return Error{EINVAL, "'" + text + "' is not a run identifier"};
}

std::string RunsUsageText() {
  return "Usage: sondrel-cli runs [--monitor] [--csv]\n"
         "       sondrel-cli runs --delete ID | --pin ID | --unpin ID\n"
         "\n"
         "Lists the ping runs kept in the run archive of the data folder, newest\n"
         "first, with the identifiers that export --run and report --run take.\n"
         "A pinned run is never removed to make room.\n"
         "\n"
         "Options:\n"
         "  --csv          comma-separated values instead of a table\n"
         "  --monitor      the runs of the monitor service (sondrel-cli monitor), kept\n"
         "                 in the data folder's monitor/\n"
         "  --delete ID    delete the run ID from the archive\n"
         "  --pin ID       keep the run ID whatever its age and the archive's size\n"
         "  --unpin ID     let the run ID go again when it is old\n"
         "  -h, --help     show this text\n"
         "\n"
         "Exit status:\n"
         "  0  done\n"
         "  1  no such run, or no archive yet\n"
         "  2  bad usage\n"
         "  3  the archive could not be read or changed\n";
}

ParsedRunsLine ParseRunsLine(const std::vector<std::string>& args) {
  ParsedRunsLine parsed;
  RunsOptions& o = parsed.options;
  const CommandArguments read = ReadArguments(
      args, {{{"h", "help"}}, {{"csv"}}, {{"monitor"}}, {{"delete"}, true}, {{"pin"}, true}, {{"unpin"}, true}});
  if (read.fault == CommandArguments::Fault::UnknownOption) {
    parsed.error = "unknown option '" + read.faultArgument + "'";
    return parsed;
  }
  if (read.fault == CommandArguments::Fault::MissingValue) {
    parsed.error = "option '" + read.faultArgument + "' needs a run identifier";
    return parsed;
  }
  int changes = 0;
  for (const auto& [name, value] : read.options) {
    if (name == "h") {
      o.help = true;
      continue;
    }
    if (name == "csv") {
      o.csv = true;
      continue;
    }
    if (name == "monitor") {
      o.monitor = true;
      continue;
    }
    const Result<std::int64_t> id = ReadRunId(value);
    if (!id) {
      parsed.error = id.error().message;
      return parsed;
    }
    ++changes;
    (name == "delete" ? o.deleteId : name == "pin" ? o.pinId : o.unpinId) = id.value();
  }
  if (changes > 1) parsed.error = "one of --delete, --pin and --unpin at a time";
  if (!read.positionals.empty()) parsed.error = "unexpected argument '" + read.positionals.front() + "'";
  return parsed;
}

int RunRuns(const RunsOptions& options, const std::string& dataFolder, FileService& files,
            std::ostream& out, std::ostream& err) {
  const bool change = options.deleteId || options.pinId || options.unpinId;
  auto archive = OpenArchive(dataFolder, files, change ? ArchiveAccess::ReadWrite : ArchiveAccess::ReadOnly);
  if (!archive) {
    err << "sondrel-cli: " << archive.error().message << "\n";
    return archive.error().code == ENOENT ? kExitNoReply : kExitCannotStart;
  }
  RunArchive& a = *archive.value();
  if (!a.notice().empty()) err << "sondrel-cli: " << a.notice() << "\n";
  if (change) {
    const std::int64_t id = options.deleteId ? *options.deleteId : options.pinId ? *options.pinId : *options.unpinId;
    if (auto known = a.summary(id); !known) {
      err << "sondrel-cli: there is no run " << id << " in the archive\n";
      return kExitNoReply;
    }
    const Result<void> done = options.deleteId ? a.deleteRun(id) : a.setPinned(id, options.pinId.has_value());
    if (!done) {
      err << "sondrel-cli: " << done.error().message << "\n";
      return kExitCannotStart;
    }
    return kExitReplied;
  }
  auto runs = a.listRuns(RunFilter{}, 0, std::numeric_limits<std::int64_t>::max());
  if (!runs) {
    err << "sondrel-cli: " << runs.error().message << "\n";
    return kExitCannotStart;
  }
  std::ostringstream text;
  if (options.csv) {
    text << "id,started,ended,duration,targets,sent,lost,loss rate,by,ended by,pinned,first targets\r\n";
    for (const RunSummary& r : runs.value())
      text << r.id << "," << r.startLocal << "," << r.endLocal << "," << RunDurationText(r.durationUs) << ","
           << r.targetCount << "," << r.sent << "," << r.lost << "," << FormatLossRate(r.sent, r.lost) << ","
           << RunOriginText(r.origin) << "," << RunEndingText(r.ending) << "," << (r.pinned ? "yes" : "no") << ","
           << CsvField(RunTargetsText(r)) << "\r\n";
  } else {
    char line[512];
    std::snprintf(line, sizeof line, "%6s  %-19s  %-19s  %9s  %7s  %9s  %9s  %9s  %-12s  %-13s  %s\n", "ID",
                  "Started", "Ended", "Duration", "Targets", "Sent", "Lost", "Loss Rate", "By", "Ended by",
                  "Targets first");
    text << line;
    for (const RunSummary& r : runs.value()) {
      std::snprintf(line, sizeof line, "%6lld  %-19s  %-19s  %9s  %7d  %9lld  %9lld  %9s  %-12s  %-13s%s  ",
                    static_cast<long long>(r.id), r.startLocal.c_str(), r.endLocal.c_str(),
                    RunDurationText(r.durationUs).c_str(), r.targetCount, static_cast<long long>(r.sent),
                    static_cast<long long>(r.lost), FormatLossRate(r.sent, r.lost).c_str(), RunOriginText(r.origin),
                    RunEndingText(r.ending), r.pinned ? " *" : "  ");
      text << line << RunTargetsText(r) << "\n";
    }
  }
  out << text.str();
  out.flush();
  if (out) return kExitReplied;
  err << "sondrel-cli: the list could not be written to standard output\n";
  return kExitCannotStart;
}

std::string OutagesUsageText() {
  return "Usage: sondrel-cli outages [--monitor] [--run ID] [--csv] [--after K]\n"
         "\n"
         "Lists the outages of an archived run (the newest without --run): an\n"
         "outage of a target begins at the send time of its first lost echo once K\n"
         "echoes in a row are lost, and ends at the send time of its next reply.\n"
         "\n"
         "Options:\n"
         "  --run ID       the run ID of 'sondrel-cli runs'\n"
         "  --csv          comma-separated values (times in local time, length in seconds)\n"
         "  --monitor      the runs of the monitor service (sondrel-cli monitor)\n"
         "  --after K      echoes lost in a row that make an outage, 1 to 100 (default:\n"
         "                 the count the run was kept with, 3 unless the settings say)\n"
         "  -h, --help     show this text\n"
         "\n"
         "Exit status:\n"
         "  0  listed (also when there was no outage)\n"
         "  1  no such run, or no archive yet\n"
         "  2  bad usage\n"
         "  3  the archive could not be read\n";
}

ParsedOutagesLine ParseOutagesLine(const std::vector<std::string>& args) {
  ParsedOutagesLine parsed;
  OutagesOptions& o = parsed.options;
  const CommandArguments read =
      ReadArguments(args, {{{"h", "help"}}, {{"csv"}}, {{"monitor"}}, {{"run"}, true}, {{"after"}, true}});
  if (read.fault == CommandArguments::Fault::UnknownOption) {
    parsed.error = "unknown option '" + read.faultArgument + "'";
    return parsed;
  }
  if (read.fault == CommandArguments::Fault::MissingValue) {
    parsed.error = "option '" + read.faultArgument + "' needs a value";
    return parsed;
  }
  for (const auto& [name, value] : read.options) {
    if (name == "h") {
      o.help = true;
    } else if (name == "csv") {
      o.csv = true;
    } else if (name == "monitor") {
      o.monitor = true;
    } else if (name == "run") {
      const Result<std::int64_t> id = ReadRunId(value);
      if (!id) {
        parsed.error = id.error().message;
        return parsed;
      }
      o.runId = id.value();
    } else {
      int k = 0;
      const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), k);
      if (ec != std::errc() || ptr != value.data() + value.size() || k < OutageTracker::kMinThreshold ||
          k > OutageTracker::kMaxThreshold) {
        parsed.error = "--after takes a whole number from 1 to 100, not '" + value + "'";
        return parsed;
      }
      o.threshold = k;
    }
  }
  if (!read.positionals.empty()) parsed.error = "unexpected argument '" + read.positionals.front() + "'";
  return parsed;
}

int RunOutages(const OutagesOptions& options, const std::string& dataFolder, FileService& files,
               std::ostream& out, std::ostream& err) {
  auto archive = OpenArchive(dataFolder, files, ArchiveAccess::ReadOnly);
  if (!archive) {
    err << "sondrel-cli: " << archive.error().message << "\n";
    return archive.error().code == ENOENT ? kExitNoReply : kExitCannotStart;
  }
  RunArchive& a = *archive.value();
  std::int64_t id = options.runId;
  if (id == 0) {
    auto newest = a.listRuns(RunFilter{}, 0, 1);
    if (!newest || newest.value().empty()) {
      err << "sondrel-cli: " << (newest ? std::string("the archive holds no run yet") : newest.error().message) << "\n";
      return newest ? kExitNoReply : kExitCannotStart;
    }
    id = newest.value().front().id;
  } else if (!a.summary(id)) {
    err << "sondrel-cli: there is no run " << id << " in the archive\n";
    return kExitNoReply;
  }
  auto targets = a.targetsOf(id);
  if (!targets) {
    err << "sondrel-cli: " << targets.error().message << "\n";
    return kExitCannotStart;
  }
  std::vector<std::string> names;
  for (const auto& [address, label] : targets.value()) names.push_back(label.empty() ? address : label);
  auto own = a.outageAfterOf(id);
  if (!own) {
    err << "sondrel-cli: " << own.error().message << "\n";
    return kExitCannotStart;
  }
  const int threshold = options.threshold > 0 ? options.threshold : own.value();
  std::vector<Outage> found;
  if (threshold == own.value()) {
    // As the run found them while its results were kept.
    auto kept = a.outagesOf(id);
    if (!kept) {
      err << "sondrel-cli: " << kept.error().message << "\n";
      return kExitCannotStart;
    }
    found = std::move(kept.value());
  } else {
    // Counted another way: each target's echoes in the order sent.
    OutageTracker tracker(threshold);
    for (std::uint32_t t = 0; t < targets.value().size(); ++t) {
      auto echoes =
          a.echoesOf(id, t, std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max());
      if (!echoes) {
        err << "sondrel-cli: " << echoes.error().message << "\n";
        return kExitCannotStart;
      }
      for (const ArchivedEcho& e : echoes.value()) tracker.add(t, e.sentUtcUs, e.roundTripUs >= 0);
    }
    // A run that ended (or crashed) with a target down: closed at its last echo.
    tracker.closeAll();
    found = tracker.outages();
  }
  // By start, whatever the target.
  std::stable_sort(found.begin(), found.end(),
                   [](const Outage& x, const Outage& y) { return x.startUtcUs < y.startUtcUs; });
  std::ostringstream text;
  if (options.csv) {
    text << "run,target,name,address,start,end,length s,lost\r\n";
    for (const Outage& o : found)
      text << id << "," << o.target << "," << CsvField(names[o.target]) << ","
           << CsvField(targets.value()[o.target].first) << "," << OutageTimeText(o.startUtcUs) << ","
           << OutageTimeText(o.endUtcUs) << "," << OutageLengthText(o) << "," << o.lostEchoes << "\r\n";
  } else if (found.empty()) {
    text << "Run " << id << ": no outage (" << threshold << " or more echoes lost in a row).\n";
  } else {
    text << "Run " << id << ": ";
    for (const std::string& line : FormatOutageLines(found, threshold, names)) text << line << "\n";
  }
  out << text.str();
  out.flush();
  if (out) return kExitReplied;
  err << "sondrel-cli: the list could not be written to standard output\n";
  return kExitCannotStart;
}

Result<RunData> LoadArchivedRun(std::int64_t id, const std::string& dataFolder, FileService& files) {
  auto archive = OpenArchive(dataFolder, files, ArchiveAccess::ReadOnly);
  if (!archive) return archive.error();
  RunArchive& a = *archive.value();
  if (!a.summary(id)) return Error{ENOENT, "there is no run " + std::to_string(id) + " in the archive"};
  return a.loadRun(id);
}

}  // namespace sondrel::cli
