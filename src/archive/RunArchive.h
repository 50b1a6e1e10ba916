#pragma once
// The run archive: every ping run with its targets and results, kept in one
// SQLite database in the data folder, so earlier runs can be listed, shown,
// reported and exported like a reloaded log. Plain C++ on SQLite's C API.
//
// One RunArchive is one connection; use it from one thread at a time. Several
// connections (the window, the command line, a reader) may share the file:
// it is in WAL mode, so readers never wait for the writer, and a writer
// waits a few seconds for another writer rather than failing.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/common/LocalDateTime.h"
#include "core/common/Result.h"
#include "core/monitor/Outages.h"
#include "core/ping/PingParameters.h"
#include "core/ping/RunRecords.h"

struct sqlite3;
struct sqlite3_stmt;

namespace sondrel {

class FileService;
class FolderLock;

inline constexpr const char* kArchiveFile = "Sondrel.sqlite";

// Beside: read and write beside the program's own writer, which has opened
// and checked the file first; opening it checks and changes nothing (no
// integrity check, no damaged file put aside, no runs marked as crashed).
enum class ArchiveAccess { ReadWrite, ReadOnly, Beside };

// Stored as these numbers: never renumber.
enum class RunOrigin { Window = 0, CommandLine = 1, Imported = 2, Monitor = 3 };
enum class RunEnding { Running = 0, CountReached = 1, Stopped = 2, ScheduledEnd = 3, Crashed = 4 };

struct ArchiveRunStart {
  RunOrigin origin = RunOrigin::Window;
  std::int64_t startUtcUs = 0;  // µs since the epoch
  LocalDateTime startLocal;
  PingParameters parameters;
  std::vector<std::string> addresses;  // the address table the records index
  std::vector<std::string> labels;     // one per target (may be fewer, or none)
  std::int32_t stepLength = 1;
  std::int32_t targetCount = -1;  // -1: one target per address
  int outageAfter = 3;             // echoes lost in a row that make an outage
};

// One result as the run gave it.
struct ArchiveResult {
  ResultRecord record;
  std::uint32_t pass = 0;
  std::int64_t sentUtcUs = 0;     // when the echo was sent, µs since the epoch
  std::int64_t roundTripUs = -1;  // -1: no reply
};

// One echo of one target, for a latency chart.
struct ArchivedEcho {
  std::uint32_t pass = 0;
  std::int64_t sentUtcUs = 0;
  std::int64_t roundTripUs = -1;  // -1: no reply
  std::int32_t status = 0;
  std::int16_t ttl = 0;
};

struct RunFilter {
  std::string text;                // in any target's address or label; empty: any run
  std::optional<std::int64_t> fromUtcUs;  // runs started at or after
  std::optional<std::int64_t> toUtcUs;    // runs started before
};

// What a runs list is sorted by; the newest first breaks ties.
enum class RunColumn { Start, End, Duration, Targets, Sent, Lost, LossRate, Origin, Ending, Pinned };
struct RunOrder {
  RunColumn column = RunColumn::Start;
  bool ascending = false;
};

struct RunSummary {
  std::int64_t id = 0;
  std::int64_t startUtcUs = 0;
  std::optional<std::int64_t> endUtcUs;  // nothing while the run goes
  std::string startLocal;                // "YYYY-MM-DD HH:MM:SS"
  std::string endLocal;                  // "" while the run goes
  std::int64_t durationUs = 0;           // to its end, or to its latest result
  RunOrigin origin = RunOrigin::Window;
  RunEnding ending = RunEnding::Running;
  bool pinned = false;
  std::int32_t targetCount = 0;
  std::vector<std::string> firstLabels;  // the first few targets: label, or address without one
  std::int64_t sent = 0;
  std::int64_t lost = 0;
  // How the run was made, as text for the user.
  std::int64_t timeoutMs = 0;
  std::int64_t intervalMs = 0;
  std::int64_t payloadSize = 0;
  std::int64_t pingsPerTarget = 0;
  std::string passMode, bufferMode, bufferSizes;
};

// One alert told during a run, as the alert log keeps it.
struct ArchivedAlert {
  std::int64_t seq = 0;       // the run's alert number, from 1
  std::int64_t atUtcUs = 0;   // when it was told
  std::string rule;
  std::uint32_t target = 0;
  std::string address;
  std::string event;          // "outage-start", "loss-clear", ...
  std::int64_t sinceUtcUs = 0;
  int folded = 0;
  std::string summary, body;
  std::optional<int> exitStatus;  // of its command, once ended (-1: did not start)
};

struct Retention {
  int days = 365;
  std::int64_t maxBytes = std::int64_t{2} << 30;
};

class RunArchive {
 public:
  static constexpr int kSchemaVersion = 4;
  // Results of one target kept together in one stored piece.
  static constexpr int kChunkResults = 64;
  static constexpr int kListLabels = 3;

  // Opens the archive at `path`; ReadWrite creates it when missing. A file
  // that is damaged or no database is put aside (renamed, never deleted) and
  // a new archive begun; one made by a newer program is opened read-only.
  // Both are told in notice().
  static Result<std::unique_ptr<RunArchive>> open(FileService& files, const std::string& path,
                                                 ArchiveAccess access);
  ~RunArchive();
  RunArchive(const RunArchive&) = delete;
  RunArchive& operator=(const RunArchive&) = delete;

  const std::string& path() const { return path_; }
  std::string notice() const { return notice_; }
  bool readOnly() const { return readOnly_; }

  Result<std::int64_t> beginRun(const ArchiveRunStart& start);
  // The whole batch in one transaction: all of it is kept, or none.
  Result<void> appendResults(std::int64_t run, std::span<const ArchiveResult> results);
  Result<void> endRun(std::int64_t run, RunEnding how, std::int64_t endUtcUs, const LocalDateTime& endLocal);

  // Newest first unless `order` says otherwise.
  Result<std::vector<RunSummary>> listRuns(const RunFilter& filter, std::int64_t offset, std::int64_t limit,
                                           RunOrder order = {});
  Result<std::int64_t> countRuns(const RunFilter& filter);
  Result<RunSummary> summary(std::int64_t run);
  // The archived run that `run` (a run shown from the log, or one this
  // program has just made) is: the newest with its targets, results, sent
  // and lost counts whose span holds its results' times. Nothing when the
  // archive does not hold it.
  Result<std::optional<std::int64_t>> findRun(const RunData& run);

  // The run as a reloaded log gives it: records in the order they were
  // appended, the statistics counted over them as the run counted them.
  // A run of hundreds of thousands of results is read by two threads, the
  // second on a read-only connection of its own for the time of the load.
  Result<RunData> loadRun(std::int64_t run);
  // The run's outages as they were kept with its results, by start (one
  // under way has no end).
  Result<std::vector<Outage>> outagesOf(std::int64_t run);
  // Keeps an alert of the run, or replaces the one of the same number (its
  // command's end came later).
  Result<void> putAlert(std::int64_t run, const ArchivedAlert& alert);
  // The run's alerts by number.
  Result<std::vector<ArchivedAlert>> alertsOf(std::int64_t run);
  // The number of echoes lost in a row the run counted as an outage.
  Result<int> outageAfterOf(std::int64_t run);
  // The run's targets in index order: address and label ("" without one).
  Result<std::vector<std::pair<std::string, std::string>>> targetsOf(std::int64_t run);
  // The echoes of one target sent in [fromUtcUs, toUtcUs], in pass order.
  Result<std::vector<ArchivedEcho>> echoesOf(std::int64_t run, std::uint32_t target, std::int64_t fromUtcUs,
                                             std::int64_t toUtcUs);

  // Not a run under way.
  Result<void> deleteRun(std::int64_t run);
  Result<void> setPinned(std::int64_t run, bool pinned);
  // Removes the oldest unpinned ended runs older than keep.days, then the
  // oldest unpinned ended ones until the data takes at most keep.maxBytes.
  // How many went.
  Result<int> applyRetention(const Retention& keep, std::int64_t nowUtcUs);
  // The bytes the data takes in the file: its pages but the free ones.
  Result<std::int64_t> usedBytes();

  // A run read from a run log: millisecond times only, sent times from the
  // records' local times.
  Result<std::int64_t> importRun(const RunData& run, std::int64_t startUtcUs, const LocalDateTime& startLocal);

  // The connection itself, for tests and tools that look inside.
  sqlite3* handle() const { return db_; }

 private:
  struct RunState;
  RunArchive(FileService& files, std::string path, sqlite3* db, bool readOnly);

  Result<void> exec(const char* sql);
  Error failure(const std::string& what) const;
  Error failure(const std::string& what, int code) const;
  Result<void> prepare(sqlite3_stmt*& stmt, const char* sql);
  Result<void> setUp();
  Result<void> markCrashedRuns();
  Result<void> checkWritable() const;
  Result<RunState*> stateOf(std::int64_t run);
  std::string lockPath(std::int64_t run) const;
  Result<void> deleteRunRows(std::int64_t run);
  // Ends the run's outages under way at their targets' last echoes.
  Result<void> closeOutages(std::int64_t run);

  FileService& files_;
  std::string path_;
  sqlite3* db_ = nullptr;
  bool readOnly_ = false;
  std::string notice_;
  std::map<std::int64_t, std::unique_ptr<RunState>> runs_;  // runs this connection writes
  struct Statements;
  std::unique_ptr<Statements> st_;
};

// "YYYY-MM-DD HH:MM:SS"
std::string FormatArchiveLocal(const LocalDateTime& t);
std::string FormatArchiveLocal(const ResultTime& t);

}  // namespace sondrel
