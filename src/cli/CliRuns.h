#pragma once
// "sondrel-cli runs": the runs kept in the run archive, newest first, and
// their deletion and pinning; and the loading of one archived run for
// "export --run" and "report --run".

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/common/Result.h"
#include "core/ping/RunRecords.h"

namespace sondrel {
class FileService;
}

namespace sondrel::cli {

struct RunsOptions {
  bool help = false;
  bool csv = false;
  bool monitor = false;  // the monitor service's archive (its data folder's)
  std::optional<std::int64_t> deleteId;
  std::optional<std::int64_t> pinId;
  std::optional<std::int64_t> unpinId;
};

struct ParsedRunsLine {
  RunsOptions options;
  std::string error;
  bool ok() const { return error.empty(); }
};

ParsedRunsLine ParseRunsLine(const std::vector<std::string>& args);
std::string RunsUsageText();

// Lists the archive of `dataFolder` on `out`, or deletes or pins one run.
int RunRuns(const RunsOptions& options, const std::string& dataFolder, FileService& files,
            std::ostream& out, std::ostream& err);

// "sondrel-cli outages [--run ID] [--csv] [--after K]": the outages of an
// archived run (the newest without --run), found from its echoes.
struct OutagesOptions {
  bool help = false;
  bool csv = false;
  bool monitor = false;  // the monitor service's archive
  std::int64_t runId = 0;  // 0: the newest run
  int threshold = 0;       // echoes lost in a row that make an outage; 0: the run's own
};
struct ParsedOutagesLine {
  OutagesOptions options;
  std::string error;
  bool ok() const { return error.empty(); }
};
ParsedOutagesLine ParseOutagesLine(const std::vector<std::string>& args);
std::string OutagesUsageText();
int RunOutages(const OutagesOptions& options, const std::string& dataFolder, FileService& files,
               std::ostream& out, std::ostream& err);

// A run identifier as typed ("--run 12"): a whole number above 0.
std::optional<std::int64_t> ParseRunId(const std::string& text);
// The same, or the fault of the command line that gave it.
Result<std::int64_t> ReadRunId(const std::string& text);

// The archived run `id` of `dataFolder`, read-only, as the export and the
// report take a run; the error's message is for the user.
Result<RunData> LoadArchivedRun(std::int64_t id, const std::string& dataFolder, FileService& files);

}  // namespace sondrel::cli
