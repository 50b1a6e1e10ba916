#include "archive/RunArchive.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <system_error>
#include <thread>
#include <utility>

#include "archive/ResultChunk.h"
#include "core/ports/FileService.h"

namespace sondrel {

// Layout of the results.
//
// A row per result costs some 27 bytes even with every field a small delta
// (cell pointer, record header with a type byte per column, a 6-byte sent
// time), over what a long run may take. So the results of one target are kept
// in pieces ("chunks") of up to kChunkResults results, keyed (run, first
// row, target), each a blob of the results encoded against the one before
// (ResultChunk.h): a result of a steady run is a flag byte, the sent time's
// step and the round trip, about 6 bytes. A whole run reads the chunks in the
// order of their rows (a large one by two threads, each a range of them), so
// the records it fills are written nearly in order (in target order they
// would be written a stride apart, each target's sweep over the whole run
// missing the cache). A chart of one target finds
// its own chunks by an index on (run, target, first row) and skips those
// outside the time range by their first and last sent times. A chunk being
// filled is written anew with each batch, which costs at most a few hundred
// bytes per target and batch.

namespace {

constexpr std::size_t kChunkBytes = 600;  // keeps a chunk well inside a page

const char* const kSchemaV1[] = {
    R"(CREATE TABLE runs(
         id INTEGER PRIMARY KEY,
         started_utc INTEGER NOT NULL,
         started_local TEXT NOT NULL,
         ended_utc INTEGER,
         ended_local TEXT,
         origin INTEGER NOT NULL,
         ending INTEGER NOT NULL,
         pinned INTEGER NOT NULL DEFAULT 0,
         timeout_ms INTEGER NOT NULL,
         interval_ms INTEGER NOT NULL,
         payload_size INTEGER NOT NULL,
         pings_per_target INTEGER NOT NULL,
         pass_mode TEXT NOT NULL,
         buffer_mode TEXT NOT NULL,
         buffer_sizes TEXT NOT NULL,
         step_length INTEGER NOT NULL,
         target_count INTEGER NOT NULL,
         sent INTEGER NOT NULL DEFAULT 0,
         lost INTEGER NOT NULL DEFAULT 0,
         rows INTEGER NOT NULL DEFAULT 0,
         damaged INTEGER NOT NULL DEFAULT 0,
         last_utc INTEGER,
         last_local TEXT))",
    "CREATE INDEX runs_by_start ON runs(started_utc, id)",
    R"(CREATE TABLE targets(
         run INTEGER NOT NULL,
         idx INTEGER NOT NULL,
         address TEXT NOT NULL,
         label TEXT,
         PRIMARY KEY(run, idx)) WITHOUT ROWID)",
    R"(CREATE TABLE chunks(
         run INTEGER NOT NULL,
         target INTEGER NOT NULL,
         first_row INTEGER NOT NULL,
         count INTEGER NOT NULL,
         first_sent INTEGER NOT NULL,
         last_sent INTEGER NOT NULL,
         data BLOB NOT NULL,
         PRIMARY KEY(run, first_row, target)) WITHOUT ROWID)",
    "CREATE INDEX chunks_by_target ON chunks(run, target, first_row)",
};

// Format 2: the outages found as the results were kept, and the count of
// lost echoes that made one.
const char* const kSchemaV2[] = {
    "ALTER TABLE runs ADD COLUMN outage_after INTEGER NOT NULL DEFAULT 3",
    R"(CREATE TABLE outages(
         run INTEGER NOT NULL,
         target INTEGER NOT NULL,
         started_utc INTEGER NOT NULL,
         ended_utc INTEGER,
         lost INTEGER NOT NULL,
         PRIMARY KEY(run, target, started_utc)) WITHOUT ROWID)",
};

// Format 3: a target's chunks by their last send time, so that reading the
// latest of a long run's echoes (a live chart) finds them at once. (A file
// of an older format is opened for reading only once brought up to date.)
const char* const kSchemaV3[] = {
    "CREATE INDEX IF NOT EXISTS chunks_by_target_time ON chunks(run, target, last_sent)",
};

// Format 4: the alerts told during a run.
const char* const kSchemaV4[] = {
    R"(CREATE TABLE IF NOT EXISTS alerts(
         run INTEGER NOT NULL,
         seq INTEGER NOT NULL,
         at_utc INTEGER NOT NULL,
         rule TEXT NOT NULL,
         target INTEGER NOT NULL,
         address TEXT NOT NULL,
         event TEXT NOT NULL,
         since_utc INTEGER NOT NULL,
         folded INTEGER NOT NULL,
         summary TEXT NOT NULL,
         body TEXT NOT NULL,
         exit_status INTEGER,
         PRIMARY KEY(run, seq)) WITHOUT ROWID)",
};

// Upgrade steps: step k takes a database of user_version k-1 to k. Add the
// next version's statements as a new step; never change an old one.
struct UpgradeStep {
  const char* const* statements;
  std::size_t count;
};
const UpgradeStep kUpgrades[] = {
    {kSchemaV1, std::size(kSchemaV1)},
    {kSchemaV2, std::size(kSchemaV2)},
    {kSchemaV3, std::size(kSchemaV3)},
    {kSchemaV4, std::size(kSchemaV4)},
};
static_assert(std::size(kUpgrades) == RunArchive::kSchemaVersion);

std::string Pad2(int v) { return (v < 10 ? "0" : "") + std::to_string(v); }

const char* PassModeText(PassMode m) { return m == PassMode::Together ? "together" : "one by one"; }

const char* BufferModeText(BufferMode m) {
  switch (m) {
    case BufferMode::Single: return "single";
    case BufferMode::Incremental: return "incremental";
    case BufferMode::Multiple: return "multiple";
  }
  return "single";
}

std::string BufferSizesText(const PingParameters& p) {
  switch (p.mode) {
    case BufferMode::Single: return std::to_string(p.size);
    case BufferMode::Incremental:
      return "from " + std::to_string(p.startSize) + " by " + std::to_string(p.step) + ", " +
             std::to_string(p.numberOfSizes) + " sizes, " + std::to_string(p.pingsPerSize) + " each";
    case BufferMode::Multiple: {
      std::string s;
      for (std::int32_t v : p.sizes) s += (s.empty() ? "" : ",") + std::to_string(v);
      return s + ", " + std::to_string(p.pingsPerSize) + " each";
    }
  }
  return {};
}

std::string ColumnText(sqlite3_stmt* s, int i) {
  const unsigned char* t = sqlite3_column_text(s, i);
  return t ? std::string(reinterpret_cast<const char*>(t), static_cast<std::size_t>(sqlite3_column_bytes(s, i)))
           : std::string();
}

void BindText(sqlite3_stmt* s, int i, const std::string& v) {
  sqlite3_bind_text(s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}

// Finalizes on scope exit.
struct Stmt {
  sqlite3_stmt* s = nullptr;
  ~Stmt() { sqlite3_finalize(s); }
  operator sqlite3_stmt*() const { return s; }  // NOLINT
};

// "x LIKE ?" matching the text anywhere, the text taken literally.
std::string LikePattern(const std::string& text) {
  std::string p = "%";
  for (char c : text) {
    if (c == '%' || c == '_' || c == '\\') p += '\\';
    p += c;
  }
  return p + "%";
}

bool IsDamage(int code) {
  const int primary = code & 0xFF;
  return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

}  // namespace

std::string FormatArchiveLocal(const LocalDateTime& t) {
  return std::to_string(t.year) + "-" + Pad2(t.month) + "-" + Pad2(t.day) + " " + Pad2(t.hour) + ":" +
         Pad2(t.minute) + ":" + Pad2(t.second);
}

std::string FormatArchiveLocal(const ResultTime& t) {
  LocalDateTime l;
  l.year = t.year == ResultTime::kNoYear ? 0 : t.year;
  l.month = t.month == ResultTime::kNoField ? 0 : t.month;
  l.day = t.day == ResultTime::kNoField ? 0 : t.day;
  l.hour = t.hour == ResultTime::kNoField ? 0 : t.hour;
  l.minute = t.minute == ResultTime::kNoField ? 0 : t.minute;
  l.second = t.second == ResultTime::kNoField ? 0 : t.second;
  return FormatArchiveLocal(l);
}

struct RunArchive::RunState {
  std::int32_t targetCount = 0;
  std::int64_t rows = 0;
  std::int64_t sent = 0;
  std::int64_t lost = 0;
  std::int64_t damaged = 0;
  std::optional<std::int64_t> lastUtc;
  std::string lastLocal;
  std::map<std::uint32_t, ResultChunk> chunks;  // the chunk each target fills
  std::unique_ptr<FolderLock> lock;              // says the run is under way
  OutageTracker outages;                         // found as the results come
};

// The statements of a batch, prepared once.
struct RunArchive::Statements {
  Stmt putChunk, updateRun, putOutage;
};

RunArchive::RunArchive(FileService& files, std::string path, sqlite3* db, bool readOnly)
    : files_(files), path_(std::move(path)), db_(db), readOnly_(readOnly), st_(std::make_unique<Statements>()) {}

RunArchive::~RunArchive() {
  st_.reset();
  runs_.clear();
  sqlite3_close_v2(db_);
}

Error RunArchive::failure(const std::string& what) const { return failure(what, sqlite3_extended_errcode(db_)); }

Error RunArchive::failure(const std::string& what, int code) const {
  std::string why = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
  return Error{code, "The run archive " + path_ + ": " + what + " failed: " + why + "."};
}

Result<void> RunArchive::exec(const char* sql) {
  if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) return failure(sql);
  return {};
}

Result<void> RunArchive::prepare(sqlite3_stmt*& stmt, const char* sql) {
  if (stmt) {
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    return {};
  }
  if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
    sqlite3_finalize(stmt);
    stmt = nullptr;
    return failure("reading its tables");
  }
  return {};
}

Result<void> RunArchive::checkWritable() const {
  if (readOnly_) return Error{SQLITE_READONLY, "The run archive " + path_ + " is open read-only: nothing can be added to it."};
  return {};
}

std::string RunArchive::lockPath(std::int64_t run) const { return path_ + ".run" + std::to_string(run) + ".lock"; }

namespace {

// Opens a connection; the handle even on failure (for its message), or null.
int OpenConnection(const std::string& path, ArchiveAccess access, sqlite3*& db) {
  db = nullptr;
  const int flags = (access == ArchiveAccess::ReadOnly  ? SQLITE_OPEN_READONLY
                     : access == ArchiveAccess::Beside ? SQLITE_OPEN_READWRITE
                                                       : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
                    SQLITE_OPEN_NOMUTEX;
  const int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (db) {
    // A second program writing waits for this one rather than failing.
    sqlite3_busy_timeout(db, 5000);
    sqlite3_extended_result_codes(db, 1);
  }
  return rc;
}

// The first value a pragma answers, as text; `code` is SQLITE_OK, or the
// extended code of why it could not be read.
std::string PragmaAnswer(sqlite3* db, const char* sql, int& code) {
  sqlite3_stmt* s = nullptr;
  std::string answer;
  code = sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
  if (code == SQLITE_OK) {
    code = sqlite3_step(s);
    if (code == SQLITE_ROW) {
      answer = ColumnText(s, 0);
      code = SQLITE_OK;
    }
  }
  if (code != SQLITE_OK) code = sqlite3_extended_errcode(db);
  sqlite3_finalize(s);
  return answer;
}

int ReadVersion(sqlite3* db, int& code) {
  const std::string v = PragmaAnswer(db, "PRAGMA user_version", code);
  return code == SQLITE_OK ? std::atoi(v.c_str()) : 0;
}

// "ok", or the first problem quick_check finds.
std::string QuickCheck(sqlite3* db, int& code) { return PragmaAnswer(db, "PRAGMA quick_check(1)", code); }

}  // namespace

Result<std::unique_ptr<RunArchive>> RunArchive::open(FileService& files, const std::string& path,
                                                     ArchiveAccess access) {
  const bool wantReadOnly = access == ArchiveAccess::ReadOnly;
  const bool beside = access == ArchiveAccess::Beside;
  if ((wantReadOnly || beside) && !files.fileExists(path))
    return Error{SQLITE_CANTOPEN, "The run archive " + path + " does not exist yet."};
  std::string notice;
  sqlite3* db = nullptr;
  auto openError = [&](int rc, const std::string& what) {
    std::string why = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close_v2(db);
    db = nullptr;
    return Error{rc, "The run archive " + path + " could not be " + what + ": " + why + "."};
  };
  int rc = OpenConnection(path, access, db);
  if (rc != SQLITE_OK) return openError(rc, "opened");

  int code = SQLITE_OK;
  int version = ReadVersion(db, code);
  if (access == ArchiveAccess::ReadWrite) {
    std::string check = code == SQLITE_OK ? QuickCheck(db, code) : std::string();
    const bool damaged = IsDamage(code) || (code == SQLITE_OK && check != "ok");
    if (damaged) {
      sqlite3_close_v2(db);
      db = nullptr;
      // Kept aside under a name not yet taken, with its journal files, so
      // nothing of it is lost; a new archive takes its place.
      std::string aside;
      for (int n = 1;; ++n) {
        aside = path + ".damaged-" + std::to_string(n);
        if (!files.fileExists(aside) && !files.fileExists(aside + "-wal")) break;
      }
      if (auto moved = files.renameFile(path, aside); !moved)
        return Error{moved.error().code, "The run archive " + path + " is damaged and could not be put aside as " +
                                             aside + ": " + moved.error().message};
      for (const char* extra : {"-wal", "-shm", "-journal"})
        if (files.fileExists(path + extra)) (void)files.renameFile(path + extra, aside + extra);
      notice = "The run archive " + path + " was damaged (" + (check.empty() || check == "ok" ? sqlite3_errstr(code) : check) +
               "). It was kept as " + aside + " and a new archive begun at " + path + ".";
      rc = OpenConnection(path, ArchiveAccess::ReadWrite, db);
      if (rc != SQLITE_OK) return openError(rc, "created");
      version = ReadVersion(db, code);
    }
  }
  if (code != SQLITE_OK) return openError(code, "read");

  bool readOnly = wantReadOnly;
  if (version > kSchemaVersion) {
    if (!wantReadOnly) {
      // Made by a newer program: read what we can, change nothing.
      sqlite3_close_v2(db);
      rc = OpenConnection(path, ArchiveAccess::ReadOnly, db);
      if (rc != SQLITE_OK) return openError(rc, "opened");
    }
    readOnly = true;
    notice = "The run archive " + path + " was made by a newer version of Sondrel (format " +
             std::to_string(version) + "); it is shown read-only and nothing is added to it.";
  }
  std::unique_ptr<RunArchive> archive(new RunArchive(files, path, db, readOnly));
  archive->notice_ = notice;
  if (!readOnly && !beside) {
    if (auto set = archive->setUp(); !set) return set.error();
  } else if (version < kSchemaVersion) {
    // Only a writer brings an archive up to date.
    if (version == 0)
      return Error{SQLITE_EMPTY, "The run archive " + path + " holds no runs yet."};
    return Error{SQLITE_SCHEMA, "The run archive " + path + " is of an older format; open it once for writing to bring it up to date."};
  }
  return archive;
}

Result<void> RunArchive::setUp() {
  // WAL: readers (the list, a chart, the command line) never wait for the
  // writer, and a commit is one append to the log. With synchronous=NORMAL
  // the log is synced at checkpoints, not at every commit: a committed batch
  // is in the log file, in the system's cache, the moment the commit returns,
  // so killing the program loses none of it; only a power cut or a system
  // crash can lose the last batches, and never damages the database.
  if (auto r = exec("PRAGMA journal_mode=WAL"); !r) return r;
  if (auto r = exec("PRAGMA synchronous=NORMAL"); !r) return r;
  int code = SQLITE_OK;
  const int version = ReadVersion(db_, code);
  if (code != SQLITE_OK) return failure("reading its format");
  if (version < kSchemaVersion) {
    if (auto r = exec("BEGIN IMMEDIATE"); !r) return r;
    for (int step = version; step < kSchemaVersion; ++step) {
      for (std::size_t k = 0; k < kUpgrades[step].count; ++k) {
        if (auto r = exec(kUpgrades[step].statements[k]); !r) {
          exec("ROLLBACK");
          return r;
        }
      }
    }
    const std::string setVersion = "PRAGMA user_version=" + std::to_string(kSchemaVersion);
    if (auto r = exec(setVersion.c_str()); !r) {
      exec("ROLLBACK");
      return r;
    }
    if (auto r = exec("COMMIT"); !r) {
      exec("ROLLBACK");
      return r;
    }
  }
  return markCrashedRuns();
}

Result<void> RunArchive::markCrashedRuns() {
  // A run without an end whose writer holds no lock on it any more ended
  // with its program: it ends at its last result.
  std::vector<std::int64_t> orphans;
  {
    Stmt s;
    if (auto r = prepare(s.s, "SELECT id FROM runs WHERE ending = 0"); !r) return r;
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
      const std::int64_t id = sqlite3_column_int64(s, 0);
      if (!files_.lockedElsewhere(lockPath(id))) orphans.push_back(id);
    }
    if (rc != SQLITE_DONE) return failure("reading its runs");
  }
  for (std::int64_t id : orphans) {
    Stmt s;
    if (auto r = prepare(s.s,
                         "UPDATE runs SET ending = 4, ended_utc = coalesce(last_utc, started_utc), "
                         "ended_local = coalesce(last_local, started_local) WHERE id = ? AND ending = 0");
        !r)
      return r;
    sqlite3_bind_int64(s, 1, id);
    if (sqlite3_step(s) != SQLITE_DONE) return failure("ending an interrupted run");
    if (auto r = closeOutages(id); !r) return r;
    files_.removeFile(lockPath(id));
  }
  return {};
}

Result<std::int64_t> RunArchive::beginRun(const ArchiveRunStart& start) {
  if (auto w = checkWritable(); !w) return w.error();
  const std::int32_t targetCount =
      start.targetCount >= 0 ? start.targetCount : static_cast<std::int32_t>(start.addresses.size());
  if (auto r = exec("BEGIN IMMEDIATE"); !r) return r.error();
  auto fail = [&](const std::string& what) {
    Error e = failure(what);
    exec("ROLLBACK");
    return e;
  };
  Stmt run;
  if (auto r = prepare(run.s,
                       "INSERT INTO runs(started_utc, started_local, origin, ending, timeout_ms, interval_ms, "
                       "payload_size, pings_per_target, pass_mode, buffer_mode, buffer_sizes, step_length, "
                       "target_count, outage_after) VALUES(?,?,?,0,?,?,?,?,?,?,?,?,?,?)");
      !r) {
    exec("ROLLBACK");
    return r.error();
  }
  const PingParameters& p = start.parameters;
  sqlite3_bind_int64(run, 1, start.startUtcUs);
  BindText(run, 2, FormatArchiveLocal(start.startLocal));
  sqlite3_bind_int(run, 3, static_cast<int>(start.origin));
  sqlite3_bind_int64(run, 4, p.timeoutMs);
  sqlite3_bind_int64(run, 5, p.advancedInterval ? p.intervalStart : p.intervalMs);
  sqlite3_bind_int64(run, 6, p.size);
  sqlite3_bind_int64(run, 7, p.pingsPerTarget);
  BindText(run, 8, PassModeText(p.passMode));
  BindText(run, 9, BufferModeText(p.mode));
  BindText(run, 10, BufferSizesText(p));
  sqlite3_bind_int(run, 11, start.stepLength);
  sqlite3_bind_int(run, 12, targetCount);
  const OutageTracker outages(start.outageAfter);
  sqlite3_bind_int(run, 13, outages.threshold());
  if (sqlite3_step(run) != SQLITE_DONE) return fail("beginning a run");
  const std::int64_t id = sqlite3_last_insert_rowid(db_);

  Stmt target;
  if (auto r = prepare(target.s, "INSERT INTO targets(run, idx, address, label) VALUES(?,?,?,?)"); !r) {
    exec("ROLLBACK");
    return r.error();
  }
  for (std::size_t k = 0; k < start.addresses.size(); ++k) {
    sqlite3_reset(target);
    sqlite3_bind_int64(target, 1, id);
    sqlite3_bind_int64(target, 2, static_cast<std::int64_t>(k));
    BindText(target, 3, start.addresses[k]);
    if (k < start.labels.size())
      BindText(target, 4, start.labels[k]);
    else
      sqlite3_bind_null(target, 4);
    if (sqlite3_step(target) != SQLITE_DONE) return fail("keeping a run's targets");
  }

  auto state = std::make_unique<RunState>();
  state->targetCount = targetCount;
  state->outages = outages;
  state->lastUtc = start.startUtcUs;
  state->lastLocal = FormatArchiveLocal(start.startLocal);
  // Held while the run goes: another program opening the archive then knows
  // the run is not one left behind by a crash. Taken before the run is
  // committed, so that no other program ever sees the run without it.
  if (auto lock = files_.lockFile(lockPath(id))) state->lock = std::move(lock.value());
  if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    Error e = failure("beginning a run");
    exec("ROLLBACK");
    if (state->lock) {
      state->lock.reset();
      files_.removeFile(lockPath(id));
    }
    return e;
  }
  runs_[id] = std::move(state);
  return id;
}

Result<RunArchive::RunState*> RunArchive::stateOf(std::int64_t run) {
  if (auto it = runs_.find(run); it != runs_.end()) return it->second.get();
  // A run this connection did not begin (the writer started anew): go on
  // after its last stored row, in new chunks.
  Stmt s;
  if (auto r = prepare(s.s, "SELECT target_count, rows, sent, lost, damaged, last_utc, last_local, ending FROM runs WHERE id = ?");
      !r)
    return r.error();
  sqlite3_bind_int64(s, 1, run);
  const int rc = sqlite3_step(s);
  if (rc == SQLITE_DONE) return Error{SQLITE_NOTFOUND, "The run archive " + path_ + " holds no run " + std::to_string(run) + "."};
  if (rc != SQLITE_ROW) return failure("reading a run");
  if (sqlite3_column_int(s, 7) != static_cast<int>(RunEnding::Running))
    return Error{SQLITE_MISUSE, "The run archive " + path_ + ": run " + std::to_string(run) + " has already ended."};
  auto state = std::make_unique<RunState>();
  state->targetCount = sqlite3_column_int(s, 0);
  state->rows = sqlite3_column_int64(s, 1);
  state->sent = sqlite3_column_int64(s, 2);
  state->lost = sqlite3_column_int64(s, 3);
  state->damaged = sqlite3_column_int64(s, 4);
  if (sqlite3_column_type(s, 5) != SQLITE_NULL) state->lastUtc = sqlite3_column_int64(s, 5);
  state->lastLocal = ColumnText(s, 6);
  RunState* raw = state.get();
  runs_[run] = std::move(state);
  return raw;
}

Result<void> RunArchive::appendResults(std::int64_t run, std::span<const ArchiveResult> results) {
  if (auto w = checkWritable(); !w) return w;
  auto found = stateOf(run);
  if (!found) return found.error();
  RunState& state = *found.value();
  if (results.empty()) return {};

  if (auto r = prepare(st_->putChunk.s,
                       "INSERT OR REPLACE INTO chunks(run, target, first_row, count, first_sent, last_sent, data) "
                       "VALUES(?,?,?,?,?,?,?)");
      !r)
    return r;
  if (auto r = prepare(st_->updateRun.s,
                       "UPDATE runs SET sent = ?, lost = ?, rows = ?, damaged = ?, last_utc = ?, last_local = ? "
                       "WHERE id = ?");
      !r)
    return r;
  if (auto r = exec("BEGIN IMMEDIATE"); !r) return r;

  if (auto r = prepare(st_->putOutage.s,
                       "INSERT OR REPLACE INTO outages(run, target, started_utc, ended_utc, lost) VALUES(?,?,?,?,?)");
      !r)
    return r;

  // The chunks are changed on copies, taken over only once the batch is in;
  // so are the outages.
  std::map<std::uint32_t, ResultChunk> touched;
  OutageTracker outages = state.outages;
  std::set<std::size_t> changedOutages;
  std::int64_t rows = state.rows, sent = state.sent, lost = state.lost, damaged = state.damaged;
  std::int64_t lastUtc = state.lastUtc.value_or(0);
  const ResultRecord* last = nullptr;  // the latest to end in this batch
  auto put = [&](std::uint32_t target, const ResultChunk& c) {
    sqlite3_stmt* s = st_->putChunk.s;
    sqlite3_reset(s);
    sqlite3_bind_int64(s, 1, run);
    sqlite3_bind_int64(s, 2, target);
    sqlite3_bind_int64(s, 3, c.firstRow());
    sqlite3_bind_int64(s, 4, c.count());
    sqlite3_bind_int64(s, 5, c.firstSent());
    sqlite3_bind_int64(s, 6, c.lastSent());
    sqlite3_bind_blob(s, 7, c.bytes().data(), static_cast<int>(c.bytes().size()), SQLITE_STATIC);
    return sqlite3_step(s) == SQLITE_DONE;
  };
  auto fail = [&](const std::string& what) {
    Error e = failure(what);
    exec("ROLLBACK");
    return e;
  };
  for (const ArchiveResult& r : results) {
    const std::uint32_t target = r.record.target;
    auto it = touched.find(target);
    if (it == touched.end()) {
      auto held = state.chunks.find(target);
      it = touched.emplace(target, held != state.chunks.end() ? held->second : ResultChunk()).first;
    }
    ResultChunk& chunk = it->second;
    if (chunk.count() > 0 && (chunk.count() >= kChunkResults || chunk.bytes().size() >= kChunkBytes)) {
      if (chunk.dirty() && !put(target, chunk)) return fail("keeping results");
      chunk = ResultChunk();
    }
    chunk.add(rows, r);
    ++rows;
    if (IsDamaged(r.record)) {
      ++damaged;
    } else {
      ++sent;
      if (r.record.time < 0) ++lost;
      if (outages.add(target, r.sentUtcUs, r.roundTripUs >= 0) != OutageTracker::Change::None)
        changedOutages.insert(static_cast<std::size_t>(&outages.last() - outages.outages().data()));
      else if (const Outage* going = outages.current(target))
        changedOutages.insert(static_cast<std::size_t>(going - outages.outages().data()));
    }
    // The run's latest moment: when its last echo to end ended.
    const std::int64_t ended = r.sentUtcUs + std::max<std::int64_t>(r.roundTripUs, 0);
    if (ended >= lastUtc) {
      lastUtc = ended;
      last = &r.record;
    }
  }
  for (auto& [target, chunk] : touched)
    if (chunk.dirty() && !put(target, chunk)) return fail("keeping results");
  for (std::size_t k : changedOutages) {
    const Outage& o = outages.outages()[k];
    sqlite3_stmt* u = st_->putOutage.s;
    sqlite3_reset(u);
    sqlite3_bind_int64(u, 1, run);
    sqlite3_bind_int64(u, 2, o.target);
    sqlite3_bind_int64(u, 3, o.startUtcUs);
    if (o.ongoing())
      sqlite3_bind_null(u, 4);
    else
      sqlite3_bind_int64(u, 4, o.endUtcUs);
    sqlite3_bind_int64(u, 5, o.lostEchoes);
    if (sqlite3_step(u) != SQLITE_DONE) return fail("keeping outages");
  }
  const std::string lastLocal = last ? FormatArchiveLocal(last->when) : state.lastLocal;
  sqlite3_stmt* u = st_->updateRun.s;
  sqlite3_bind_int64(u, 1, sent);
  sqlite3_bind_int64(u, 2, lost);
  sqlite3_bind_int64(u, 3, rows);
  sqlite3_bind_int64(u, 4, damaged);
  sqlite3_bind_int64(u, 5, lastUtc);
  BindText(u, 6, lastLocal);
  sqlite3_bind_int64(u, 7, run);
  if (sqlite3_step(u) != SQLITE_DONE) return fail("keeping results");
  if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) return fail("keeping results");

  for (auto& [target, chunk] : touched) {
    chunk.markClean();
    state.chunks[target] = std::move(chunk);
  }
  state.outages = std::move(outages);
  state.rows = rows;
  state.sent = sent;
  state.lost = lost;
  state.damaged = damaged;
  state.lastUtc = lastUtc;
  state.lastLocal = lastLocal;
  return {};
}

Result<void> RunArchive::endRun(std::int64_t run, RunEnding how, std::int64_t endUtcUs, const LocalDateTime& endLocal) {
  if (auto w = checkWritable(); !w) return w;
  Stmt s;
  if (auto r = prepare(s.s, "UPDATE runs SET ending = ?, ended_utc = ?, ended_local = ? WHERE id = ?"); !r) return r;
  sqlite3_bind_int(s, 1, static_cast<int>(how));
  sqlite3_bind_int64(s, 2, endUtcUs);
  BindText(s, 3, FormatArchiveLocal(endLocal));
  sqlite3_bind_int64(s, 4, run);
  if (sqlite3_step(s) != SQLITE_DONE) return failure("ending a run");
  if (sqlite3_changes(db_) == 0)
    return Error{SQLITE_NOTFOUND, "The run archive " + path_ + " holds no run " + std::to_string(run) + "."};
  if (auto r = closeOutages(run); !r) return r;
  if (auto it = runs_.find(run); it != runs_.end()) {
    const bool locked = it->second->lock != nullptr;
    runs_.erase(it);
    if (locked) files_.removeFile(lockPath(run));
  }
  return {};
}

namespace {

const char* const kSummaryColumns =
    "id, started_utc, ended_utc, started_local, ended_local, coalesce(ended_utc, last_utc, started_utc) - "
    "started_utc, origin, ending, pinned, target_count, "
    "(SELECT group_concat(name, char(31)) FROM (SELECT CASE WHEN label IS NULL OR label = '' THEN address "
    "ELSE label END AS name FROM targets WHERE targets.run = runs.id ORDER BY idx LIMIT 3)), sent, lost, "
    "timeout_ms, interval_ms, payload_size, pings_per_target, pass_mode, buffer_mode, buffer_sizes";

RunSummary ReadSummary(sqlite3_stmt* s) {
  RunSummary r;
  r.id = sqlite3_column_int64(s, 0);
  r.startUtcUs = sqlite3_column_int64(s, 1);
  if (sqlite3_column_type(s, 2) != SQLITE_NULL) r.endUtcUs = sqlite3_column_int64(s, 2);
  r.startLocal = ColumnText(s, 3);
  r.endLocal = ColumnText(s, 4);
  r.durationUs = sqlite3_column_int64(s, 5);
  r.origin = static_cast<RunOrigin>(sqlite3_column_int(s, 6));
  r.ending = static_cast<RunEnding>(sqlite3_column_int(s, 7));
  r.pinned = sqlite3_column_int(s, 8) != 0;
  r.targetCount = sqlite3_column_int(s, 9);
  const std::string names = ColumnText(s, 10);
  for (std::size_t from = 0; !names.empty() && from <= names.size();) {
    const std::size_t cut = std::min(names.find('\x1f', from), names.size());
    r.firstLabels.push_back(names.substr(from, cut - from));
    from = cut + 1;
  }
  r.sent = sqlite3_column_int64(s, 11);
  r.lost = sqlite3_column_int64(s, 12);
  r.timeoutMs = sqlite3_column_int64(s, 13);
  r.intervalMs = sqlite3_column_int64(s, 14);
  r.payloadSize = sqlite3_column_int64(s, 15);
  r.pingsPerTarget = sqlite3_column_int64(s, 16);
  r.passMode = ColumnText(s, 17);
  r.bufferMode = ColumnText(s, 18);
  r.bufferSizes = ColumnText(s, 19);
  return r;
}

// The WHERE of a filter, with its values bound from index 1.
std::string FilterSql(const RunFilter& f) {
  std::string w = " WHERE 1";
  if (!f.text.empty())
    w += " AND EXISTS (SELECT 1 FROM targets t WHERE t.run = runs.id AND (t.address LIKE :text ESCAPE '\\' "
         "OR t.label LIKE :text ESCAPE '\\'))";
  if (f.fromUtcUs) w += " AND started_utc >= :from";
  if (f.toUtcUs) w += " AND started_utc < :to";
  return w;
}

void BindFilter(sqlite3_stmt* s, const RunFilter& f) {
  if (!f.text.empty()) {
    const std::string pattern = LikePattern(f.text);
    sqlite3_bind_text(s, sqlite3_bind_parameter_index(s, ":text"), pattern.data(), static_cast<int>(pattern.size()),
                      SQLITE_TRANSIENT);
  }
  if (f.fromUtcUs) sqlite3_bind_int64(s, sqlite3_bind_parameter_index(s, ":from"), *f.fromUtcUs);
  if (f.toUtcUs) sqlite3_bind_int64(s, sqlite3_bind_parameter_index(s, ":to"), *f.toUtcUs);
}

}  // namespace

namespace {

const char* OrderSql(RunColumn column) {
  switch (column) {
    case RunColumn::Start:
      return "started_utc";
    case RunColumn::End:
      return "coalesce(ended_utc, 9223372036854775807)";
    case RunColumn::Duration:
      return "coalesce(ended_utc, last_utc, started_utc) - started_utc";
    case RunColumn::Targets:
      return "target_count";
    case RunColumn::Sent:
      return "sent";
    case RunColumn::Lost:
      return "lost";
    case RunColumn::LossRate:
      return "CASE WHEN sent = 0 THEN 0.0 ELSE lost * 1.0 / sent END";
    case RunColumn::Origin:
      return "origin";
    case RunColumn::Ending:
      return "ending";
    case RunColumn::Pinned:
      return "pinned";
  }
  return "started_utc";
}

}  // namespace

Result<std::vector<RunSummary>> RunArchive::listRuns(const RunFilter& filter, std::int64_t offset, std::int64_t limit,
                                                     RunOrder order) {
  const char* direction = order.ascending ? " ASC" : " DESC";
  const std::string sql = std::string("SELECT ") + kSummaryColumns + " FROM runs" + FilterSql(filter) +
                          " ORDER BY " + OrderSql(order.column) + direction + ", started_utc" + direction + ", id" +
                          direction + " LIMIT :limit OFFSET :offset";
  Stmt s;
  if (auto r = prepare(s.s, sql.c_str()); !r) return r.error();
  BindFilter(s, filter);
  sqlite3_bind_int64(s, sqlite3_bind_parameter_index(s, ":limit"), limit);
  sqlite3_bind_int64(s, sqlite3_bind_parameter_index(s, ":offset"), offset);
  std::vector<RunSummary> out;
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) out.push_back(ReadSummary(s));
  if (rc != SQLITE_DONE) return failure("listing its runs");
  return out;
}

Result<std::int64_t> RunArchive::countRuns(const RunFilter& filter) {
  const std::string sql = "SELECT count(*) FROM runs" + FilterSql(filter);
  Stmt s;
  if (auto r = prepare(s.s, sql.c_str()); !r) return r.error();
  BindFilter(s, filter);
  if (sqlite3_step(s) != SQLITE_ROW) return failure("counting its runs");
  return static_cast<std::int64_t>(sqlite3_column_int64(s, 0));
}

Result<std::optional<std::int64_t>> RunArchive::findRun(const RunData& run) {
  if (run.records.empty()) return std::optional<std::int64_t>{};
  Stmt s;
  if (auto r = prepare(s.s,
                       "SELECT id FROM runs WHERE rows = ? AND target_count = ? AND sent = ? AND lost = ? AND "
                       "started_local <= ? AND coalesce(last_local, started_local) >= ? "
                       "ORDER BY started_utc DESC, id DESC LIMIT 1");
      !r)
    return r.error();
  sqlite3_bind_int64(s, 1, static_cast<std::int64_t>(run.records.size()));
  sqlite3_bind_int64(s, 2, run.targetCount);
  sqlite3_bind_int64(s, 3, run.stats.sent);
  sqlite3_bind_int64(s, 4, run.stats.lost);
  // The first and last results' times (a damaged line has none).
  std::string first, last;
  for (auto r = run.records.begin(); r != run.records.end() && first.empty(); ++r)
    if (!IsDamaged(*r)) first = FormatArchiveLocal(r->when);
  for (auto r = run.records.rbegin(); r != run.records.rend() && last.empty(); ++r)
    if (!IsDamaged(*r)) last = FormatArchiveLocal(r->when);
  BindText(s, 5, first);
  BindText(s, 6, last);
  const int rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) return std::optional<std::int64_t>{sqlite3_column_int64(s, 0)};
  if (rc != SQLITE_DONE) return failure("finding a run");
  return std::optional<std::int64_t>{};
}

Result<RunSummary> RunArchive::summary(std::int64_t run) {
  const std::string sql = std::string("SELECT ") + kSummaryColumns + " FROM runs WHERE id = ?";
  Stmt s;
  if (auto r = prepare(s.s, sql.c_str()); !r) return r.error();
  sqlite3_bind_int64(s, 1, run);
  const int rc = sqlite3_step(s);
  if (rc == SQLITE_DONE) return Error{SQLITE_NOTFOUND, "The run archive " + path_ + " holds no run " + std::to_string(run) + "."};
  if (rc != SQLITE_ROW) return failure("reading a run");
  return ReadSummary(s);
}

namespace {

// A run of at least this many results is read by two threads.
constexpr std::int64_t kSharedLoadRows = std::int64_t{1} << 18;
// The part of its rows the second thread reads, in percent.
constexpr std::int64_t kLowerSharePercent = 54;

const char* const kChunksOfRun = "SELECT target, first_row, count, data FROM chunks WHERE run = ?";
const char* const kChunksBefore = "SELECT target, first_row, count, data FROM chunks WHERE run = ? AND first_row < ?";
const char* const kChunksFrom = "SELECT target, first_row, count, data FROM chunks WHERE run = ? AND first_row >= ?";
// What tells one state of a run from another: every batch adds rows.
const char* const kRunMark = "SELECT rows, started_utc, last_utc FROM runs WHERE id = ?";

struct ChunkCopy {
  std::uint32_t target = 0;
  std::int64_t firstRow = 0;
  int count = 0;
  std::vector<unsigned char> bytes;
};

// Decodes the chunks `s` steps through into `fill`; a chunk that goes on
// past the fill's range is copied into `beyond`. SQLITE_DONE at the end,
// SQLITE_CORRUPT for a chunk that does not read, or SQLite's own code.
int FillFrom(sqlite3_stmt* s, RecordFill& fill, std::vector<ChunkCopy>* beyond) {
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(s, 3));
    const auto size = static_cast<std::size_t>(sqlite3_column_bytes(s, 3));
    const auto target = static_cast<std::uint32_t>(sqlite3_column_int64(s, 0));
    const std::int64_t firstRow = sqlite3_column_int64(s, 1);
    const int count = sqlite3_column_int(s, 2);
    bool past = false;
    if (!fill.add(target, firstRow, count, bytes, size, past)) return SQLITE_CORRUPT;
    if (past && beyond) beyond->push_back(ChunkCopy{target, firstRow, count, {bytes, bytes + size}});
  }
  return rc;
}

void AddCounts(RunStatistics& into, const RecordFill& fill) {
  const RunStatistics& c = fill.counts();
  into.sent += c.sent;
  into.lost += c.lost;
  into.timeSum += c.timeSum;
  into.ttlSum += c.ttlSum;
  into.minTime = std::min(into.minTime, c.minTime);
  into.maxTime = std::max(into.maxTime, c.maxTime);
}

// The first part of a large run's rows, read on a second, read-only
// connection and a thread of its own while the load reads the rest. Its
// snapshot is a moment later than the load's: it reads only when the run is
// the same in both (the same mark), and otherwise leaves its part to the
// load, as it does when it cannot read at all.
class LowerPart {
 public:
  LowerPart(const std::string& path, std::int64_t run, const std::vector<std::int64_t>& mark, ResultRecord* records,
            std::int64_t rows, std::int64_t split)
      : fill_(records, rows, 0, split) {
    try {
      thread_ = std::thread([this, path, run, mark, split] { readPart(path, run, mark, split); });
    } catch (const std::system_error&) {
      // No thread to be had: the load reads the part itself.
    }
  }
  ~LowerPart() { join(); }
  void join() {
    if (thread_.joinable()) thread_.join();
  }
  // After join: whether it read its part: SQLITE_DONE, or SQLITE_CORRUPT
  // when a chunk of it does not read.
  bool done() const { return rc_ == SQLITE_DONE || rc_ == SQLITE_CORRUPT; }
  int rc() const { return rc_; }
  const RecordFill& fill() const { return fill_; }
  const std::vector<ChunkCopy>& beyond() const { return beyond_; }

 private:
  void readPart(const std::string& path, std::int64_t run, const std::vector<std::int64_t>& mark, std::int64_t split) {
    sqlite3* db = nullptr;
    sqlite3_stmt* s = nullptr;
    try {
      if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) == SQLITE_OK &&
          sqlite3_busy_timeout(db, 5000) == SQLITE_OK &&
          sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK &&
          sqlite3_prepare_v2(db, kRunMark, -1, &s, nullptr) == SQLITE_OK) {
        sqlite3_bind_int64(s, 1, run);
        bool same = sqlite3_step(s) == SQLITE_ROW;
        for (std::size_t k = 0; same && k < mark.size(); ++k)
          same = sqlite3_column_int64(s, static_cast<int>(k)) == mark[k];
        sqlite3_finalize(s);
        s = nullptr;
        if (same && sqlite3_prepare_v2(db, kChunksBefore, -1, &s, nullptr) == SQLITE_OK) {
          sqlite3_bind_int64(s, 1, run);
          sqlite3_bind_int64(s, 2, split);
          rc_ = FillFrom(s, fill_, &beyond_);
        }
      }
    } catch (const std::bad_alloc&) {
      rc_ = SQLITE_NOMEM;  // the load reads the part itself
    }
    sqlite3_finalize(s);
    sqlite3_close_v2(db);  // ends its read transaction
  }

  RecordFill fill_;
  std::vector<ChunkCopy> beyond_;
  int rc_ = SQLITE_ERROR;
  std::thread thread_;
};

}  // namespace

Result<RunData> RunArchive::loadRun(std::int64_t run) {
  // One read transaction, so the run is seen as of one commit.
  if (auto r = exec("BEGIN"); !r) return r.error();
  struct EndRead {
    RunArchive* a;
    ~EndRead() { a->exec("COMMIT"); }
  } endRead{this};

  RunData data;
  std::int64_t rows = 0;
  std::vector<std::int64_t> mark;
  {
    Stmt s;
    if (auto r = prepare(s.s, "SELECT target_count, step_length, rows, damaged, started_utc, last_utc FROM runs WHERE id = ?"); !r)
      return r.error();
    sqlite3_bind_int64(s, 1, run);
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_DONE) return Error{SQLITE_NOTFOUND, "The run archive " + path_ + " holds no run " + std::to_string(run) + "."};
    if (rc != SQLITE_ROW) return failure("reading a run");
    data.targetCount = sqlite3_column_int(s, 0);
    data.stepLength = sqlite3_column_int(s, 1);
    rows = sqlite3_column_int64(s, 2);
    data.damagedLines = sqlite3_column_int64(s, 3);
    mark = {rows, sqlite3_column_int64(s, 4), sqlite3_column_int64(s, 5)};
  }
  {
    Stmt s;
    if (auto r = prepare(s.s, "SELECT address, label FROM targets WHERE run = ? ORDER BY idx"); !r) return r.error();
    sqlite3_bind_int64(s, 1, run);
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
      data.addresses.push_back(ColumnText(s, 0));
      if (sqlite3_column_type(s, 1) != SQLITE_NULL) data.targetLabels.push_back(ColumnText(s, 1));
    }
    if (rc != SQLITE_DONE) return failure("reading a run's targets");
  }
  auto damaged = [&] {
    return Error{SQLITE_CORRUPT, "The run archive " + path_ + ": the results of run " + std::to_string(run) +
                                     " are damaged."};
  };
  if (rows < 0 || static_cast<std::uint64_t>(rows) > data.records.max_size()) return damaged();

  // Large pages behind the records before they are first touched: a run of
  // millions of results otherwise spends more time in page faults than in
  // reading, and its records are written at a target count's stride.
  data.records.reserve(static_cast<std::size_t>(rows));
  if (rows > 0) files_.adviseBulkMemory(data.records.data(), data.records.capacity() * sizeof(ResultRecord));
  ResultRecord* const records = data.records.data();

  // A large run is read by two threads, each on a connection of its own:
  // the first rows by a second thread, the rest here. Its records are made
  // first, so that it can begin while the rest are made here; for that this
  // thread reads fewer. The chunks that begin before the split and go on past
  // it are read here again, for their later rows.
  const std::int64_t split = rows >= kSharedLoadRows ? rows / 100 * kLowerSharePercent : 0;
  data.records.resize(static_cast<std::size_t>(split));
  std::optional<LowerPart> lower;
  if (split > 0) lower.emplace(path_, run, mark, records, rows, split);
  data.records.resize(static_cast<std::size_t>(rows));
  RecordFill upper(records, rows, split, rows);
  {
    Stmt s;
    if (auto r = prepare(s.s, split > 0 ? kChunksFrom : kChunksOfRun); !r) return r.error();
    sqlite3_bind_int64(s, 1, run);
    if (split > 0) sqlite3_bind_int64(s, 2, split);
    const int rc = FillFrom(s, upper, nullptr);
    if (rc == SQLITE_CORRUPT) return damaged();
    if (rc != SQLITE_DONE) return failure("reading a run's results");
  }
  RunStatistics& stats = data.stats;
  AddCounts(stats, upper);
  std::int64_t placed = upper.placed();
  if (lower) {
    lower->join();
    if (lower->done()) {
      if (lower->rc() == SQLITE_CORRUPT) return damaged();
      RecordFill rest(records, rows, split, rows);
      for (const ChunkCopy& c : lower->beyond()) {
        bool past = false;
        if (!rest.add(c.target, c.firstRow, c.count, c.bytes.data(), c.bytes.size(), past)) return damaged();
      }
      AddCounts(stats, lower->fill());
      AddCounts(stats, rest);
      placed += lower->fill().placed() + rest.placed();
    } else {
      // The second connection could not read, or saw a later state of the
      // run: its part is read here, from this snapshot.
      RecordFill before(records, rows, 0, rows);
      Stmt s;
      if (auto r = prepare(s.s, kChunksBefore); !r) return r.error();
      sqlite3_bind_int64(s, 1, run);
      sqlite3_bind_int64(s, 2, split);
      const int rc = FillFrom(s, before, nullptr);
      if (rc == SQLITE_CORRUPT) return damaged();
      if (rc != SQLITE_DONE) return failure("reading a run's results");
      AddCounts(stats, before);
      placed += before.placed();
    }
  }
  if (placed != rows)
    return Error{SQLITE_CORRUPT, "The run archive " + path_ + ": results of run " + std::to_string(run) + " are missing."};
  if (!data.addresses.empty()) stats.firstTarget = data.addresses.front();
  if (const std::int64_t received = stats.received(); received > 0) {
    stats.avgTime = (2 * stats.timeSum + received) / (2 * received);
    stats.avgTtl = (2 * stats.ttlSum + received) / (2 * received);
  }
  return data;
}

Result<std::vector<ArchivedEcho>> RunArchive::echoesOf(std::int64_t run, std::uint32_t target, std::int64_t fromUtcUs,
                                                       std::int64_t toUtcUs) {
  Stmt s;
  // By the index on send times: the newest echoes of a long run are found
  // without walking its older chunks.
  if (auto r = prepare(s.s,
                       "SELECT first_row, count, data FROM chunks INDEXED BY chunks_by_target_time "
                       "WHERE run = ? AND target = ? AND last_sent >= ? AND first_sent <= ? ORDER BY last_sent, first_row");
      !r)
    return r.error();
  sqlite3_bind_int64(s, 1, run);
  sqlite3_bind_int64(s, 2, target);
  sqlite3_bind_int64(s, 3, fromUtcUs);
  sqlite3_bind_int64(s, 4, toUtcUs);
  std::vector<ArchivedEcho> out;
  int rc;
  ChunkReader reader;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    const int count = sqlite3_column_int(s, 1);
    const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(s, 2));
    reader.start(target, sqlite3_column_int64(s, 0), bytes, static_cast<std::size_t>(sqlite3_column_bytes(s, 2)));
    for (int k = 0; k < count; ++k) {
      DecodedResult d;
      if (!reader.next(d))
        return Error{SQLITE_CORRUPT, "The run archive " + path_ + ": the results of run " + std::to_string(run) +
                                         " are damaged."};
      const ArchiveResult& a = d.result;
      if (a.sentUtcUs < fromUtcUs || a.sentUtcUs > toUtcUs) continue;
      out.push_back(ArchivedEcho{a.pass, a.sentUtcUs, a.roundTripUs, a.record.status, a.record.ttl});
    }
  }
  if (rc != SQLITE_DONE) return failure("reading a run's results");
  return out;
}

Result<void> RunArchive::deleteRunRows(std::int64_t run) {
  for (const char* sql : {"DELETE FROM chunks WHERE run = ?", "DELETE FROM targets WHERE run = ?",
                          "DELETE FROM outages WHERE run = ?", "DELETE FROM alerts WHERE run = ?",
                          "DELETE FROM runs WHERE id = ?"}) {
    Stmt s;
    if (auto r = prepare(s.s, sql); !r) return r;
    sqlite3_bind_int64(s, 1, run);
    if (sqlite3_step(s) != SQLITE_DONE) return failure("deleting a run");
  }
  return {};
}

Result<void> RunArchive::deleteRun(std::int64_t run) {
  if (auto w = checkWritable(); !w) return w;
  auto going = summary(run);
  if (!going) return going.error();
  if (going.value().ending == RunEnding::Running)
    return Error{SQLITE_MISUSE, "The run archive " + path_ + ": run " + std::to_string(run) + " is still going."};
  if (auto r = exec("BEGIN IMMEDIATE"); !r) return r;
  if (auto r = deleteRunRows(run); !r) {
    exec("ROLLBACK");
    return r;
  }
  if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    Error e = failure("deleting a run");
    exec("ROLLBACK");
    return e;
  }
  runs_.erase(run);
  return {};
}

Result<void> RunArchive::setPinned(std::int64_t run, bool pinned) {
  if (auto w = checkWritable(); !w) return w;
  Stmt s;
  if (auto r = prepare(s.s, "UPDATE runs SET pinned = ? WHERE id = ?"); !r) return r;
  sqlite3_bind_int(s, 1, pinned ? 1 : 0);
  sqlite3_bind_int64(s, 2, run);
  if (sqlite3_step(s) != SQLITE_DONE) return failure("pinning a run");
  if (sqlite3_changes(db_) == 0)
    return Error{SQLITE_NOTFOUND, "The run archive " + path_ + " holds no run " + std::to_string(run) + "."};
  return {};
}

Result<std::int64_t> RunArchive::usedBytes() {
  Stmt s;
  if (auto r = prepare(s.s,
                       "SELECT (SELECT page_count FROM pragma_page_count()) - (SELECT freelist_count FROM "
                       "pragma_freelist_count()), (SELECT page_size FROM pragma_page_size())");
      !r)
    return r.error();
  if (sqlite3_step(s) != SQLITE_ROW) return failure("measuring its size");
  return static_cast<std::int64_t>(sqlite3_column_int64(s, 0) * sqlite3_column_int64(s, 1));
}

Result<int> RunArchive::applyRetention(const Retention& keep, std::int64_t nowUtcUs) {
  // The pages of removed runs stay in the file as free pages, which the next
  // runs fill: the archive stays near its bound rather than shrinking and
  // growing again, and no vacuum holds the file for long while a run writes.
  if (auto w = checkWritable(); !w) return w.error();
  if (auto r = exec("BEGIN IMMEDIATE"); !r) return r.error();
  auto fail = [&](Error e) {
    exec("ROLLBACK");
    return e;
  };
  int removed = 0;
  const std::int64_t cutoff = nowUtcUs - std::int64_t{keep.days} * 86400 * 1000000;
  // Oldest first; never a pinned run nor one that has not ended.
  const char* oldest =
      "SELECT id, coalesce(ended_utc, started_utc) FROM runs WHERE pinned = 0 AND ending <> 0 "
      "ORDER BY started_utc, id LIMIT 1";
  for (;;) {
    std::int64_t id = 0, ended = 0;
    {
      Stmt s;
      if (auto r = prepare(s.s, oldest); !r) return fail(r.error());
      const int rc = sqlite3_step(s);
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) return fail(failure("choosing runs to remove"));
      id = sqlite3_column_int64(s, 0);
      ended = sqlite3_column_int64(s, 1);
    }
    bool go = ended < cutoff;
    if (!go) {
      auto used = usedBytes();
      if (!used) return fail(used.error());
      go = used.value() > keep.maxBytes;
    }
    if (!go) break;
    if (auto r = deleteRunRows(id); !r) return fail(r.error());
    ++removed;
  }
  if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) return fail(failure("removing old runs"));
  return removed;
}

Result<std::int64_t> RunArchive::importRun(const RunData& run, std::int64_t startUtcUs, const LocalDateTime& startLocal) {
  ArchiveRunStart start;
  start.origin = RunOrigin::Imported;
  start.startUtcUs = startUtcUs;
  start.startLocal = startLocal;
  start.addresses = run.addresses;
  start.labels = run.targetLabels;
  start.stepLength = run.stepLength;
  start.targetCount = run.targetCount;
  // How the log's run was made is not in it: only its payload size.
  start.parameters.pingsPerTarget = 0;
  if (!run.records.empty()) start.parameters.size = run.records.front().bufferSize;
  auto id = beginRun(start);
  if (!id) return id;

  // The sent moments from the records' local times, taken at the run's own
  // offset from UTC; a record without a readable time keeps the one before.
  const std::int64_t startSecs = ChunkCivilSeconds(ResultTime::from(startLocal)).value_or(0);
  const std::size_t perPass = static_cast<std::size_t>(std::max<std::int32_t>(run.targetCount, 1));
  std::vector<ArchiveResult> batch;
  constexpr std::size_t kBatch = 65536;
  batch.reserve(std::min(run.records.size(), kBatch));
  std::int64_t sent = startUtcUs;
  std::int64_t endUtc = startUtcUs;
  LocalDateTime endLocal = startLocal;
  // A log that cannot be taken in whole leaves nothing of it behind (or, when
  // even that fails, a run that the next open ends as interrupted).
  auto discard = [&](Error e) -> Result<std::int64_t> {
    if (exec("BEGIN IMMEDIATE")) {
      if (deleteRunRows(id.value()) && sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) {
        runs_.erase(id.value());
        files_.removeFile(lockPath(id.value()));
      } else {
        exec("ROLLBACK");
      }
    }
    return e;
  };
  auto flush = [&]() -> Result<void> {
    auto r = appendResults(id.value(), batch);
    batch.clear();
    return r;
  };
  for (std::size_t i = 0; i < run.records.size(); ++i) {
    const ResultRecord& record = run.records[i];
    if (auto secs = ChunkCivilSeconds(record.when)) {
      sent = startUtcUs + (*secs - startSecs) * 1000000;
      endUtc = sent;
      endLocal = LocalDateTime{record.when.year, record.when.month, record.when.day, record.when.hour,
                               record.when.minute, record.when.second, 0};
    }
    ArchiveResult a;
    a.record = record;
    a.pass = static_cast<std::uint32_t>(i / perPass);
    a.sentUtcUs = sent;
    a.roundTripUs = record.time < 0 ? -1 : std::int64_t{record.time} * 1000;
    batch.push_back(a);
    if (batch.size() == kBatch) {
      if (auto r = flush(); !r) return discard(r.error());
    }
  }
  if (!batch.empty()) {
    if (auto r = flush(); !r) return discard(r.error());
  }
  if (auto r = endRun(id.value(), RunEnding::Stopped, endUtc, endLocal); !r) return r.error();
  return id;
}

Result<std::vector<std::pair<std::string, std::string>>> RunArchive::targetsOf(std::int64_t run) {
  Stmt s;
  if (auto r = prepare(s.s, "SELECT address, coalesce(label, '') FROM targets WHERE run = ? ORDER BY idx"); !r)
    return r.error();
  sqlite3_bind_int64(s, 1, run);
  std::vector<std::pair<std::string, std::string>> out;
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) out.emplace_back(ColumnText(s, 0), ColumnText(s, 1));
  if (rc != SQLITE_DONE) return failure("reading a run's targets");
  return out;
}

Result<void> RunArchive::closeOutages(std::int64_t run) {
  Stmt s;
  if (auto r = prepare(s.s,
                       "UPDATE outages SET ended_utc = coalesce((SELECT max(last_sent) FROM chunks c WHERE c.run = "
                       "outages.run AND c.target = outages.target), started_utc) WHERE run = ? AND ended_utc IS NULL");
      !r)
    return r;
  sqlite3_bind_int64(s, 1, run);
  if (sqlite3_step(s) != SQLITE_DONE) return failure("ending a run's outages");
  return {};
}

Result<std::vector<Outage>> RunArchive::outagesOf(std::int64_t run) {
  Stmt s;
  if (auto r = prepare(s.s,
                       "SELECT target, started_utc, ended_utc, lost FROM outages WHERE run = ? "
                       "ORDER BY started_utc, target");
      !r)
    return r.error();
  sqlite3_bind_int64(s, 1, run);
  std::vector<Outage> out;
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    Outage o;
    o.target = static_cast<std::uint32_t>(sqlite3_column_int64(s, 0));
    o.startUtcUs = sqlite3_column_int64(s, 1);
    o.endUtcUs = sqlite3_column_type(s, 2) == SQLITE_NULL ? -1 : sqlite3_column_int64(s, 2);
    o.lostEchoes = sqlite3_column_int64(s, 3);
    out.push_back(o);
  }
  if (rc != SQLITE_DONE) return failure("reading a run's outages");
  return out;
}

Result<int> RunArchive::outageAfterOf(std::int64_t run) {
  Stmt s;
  if (auto r = prepare(s.s, "SELECT outage_after FROM runs WHERE id = ?"); !r) return r.error();
  sqlite3_bind_int64(s, 1, run);
  if (sqlite3_step(s) != SQLITE_ROW) return failure("reading a run");
  return sqlite3_column_int(s, 0);
}

Result<void> RunArchive::putAlert(std::int64_t run, const ArchivedAlert& a) {
  if (auto w = checkWritable(); !w) return w;
  Stmt s;
  if (auto r = prepare(s.s,
                       "INSERT OR REPLACE INTO alerts(run, seq, at_utc, rule, target, address, event, since_utc, "
                       "folded, summary, body, exit_status) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
      !r)
    return r;
  sqlite3_bind_int64(s, 1, run);
  sqlite3_bind_int64(s, 2, a.seq);
  sqlite3_bind_int64(s, 3, a.atUtcUs);
  sqlite3_bind_text(s, 4, a.rule.data(), static_cast<int>(a.rule.size()), SQLITE_TRANSIENT);
  sqlite3_bind_int64(s, 5, a.target);
  sqlite3_bind_text(s, 6, a.address.data(), static_cast<int>(a.address.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(s, 7, a.event.data(), static_cast<int>(a.event.size()), SQLITE_TRANSIENT);
  sqlite3_bind_int64(s, 8, a.sinceUtcUs);
  sqlite3_bind_int(s, 9, a.folded);
  sqlite3_bind_text(s, 10, a.summary.data(), static_cast<int>(a.summary.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(s, 11, a.body.data(), static_cast<int>(a.body.size()), SQLITE_TRANSIENT);
  if (a.exitStatus)
    sqlite3_bind_int(s, 12, *a.exitStatus);
  else
    sqlite3_bind_null(s, 12);
  if (sqlite3_step(s) != SQLITE_DONE) return failure("keeping an alert");
  return {};
}

Result<std::vector<ArchivedAlert>> RunArchive::alertsOf(std::int64_t run) {
  Stmt s;
  if (auto r = prepare(s.s,
                       "SELECT seq, at_utc, rule, target, address, event, since_utc, folded, summary, body, exit_status "
                       "FROM alerts WHERE run = ? ORDER BY seq");
      !r)
    return r.error();
  sqlite3_bind_int64(s, 1, run);
  std::vector<ArchivedAlert> out;
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    ArchivedAlert a;
    a.seq = sqlite3_column_int64(s, 0);
    a.atUtcUs = sqlite3_column_int64(s, 1);
    a.rule = ColumnText(s, 2);
    a.target = static_cast<std::uint32_t>(sqlite3_column_int64(s, 3));
    a.address = ColumnText(s, 4);
    a.event = ColumnText(s, 5);
    a.sinceUtcUs = sqlite3_column_int64(s, 6);
    a.folded = sqlite3_column_int(s, 7);
    a.summary = ColumnText(s, 8);
    a.body = ColumnText(s, 9);
    if (sqlite3_column_type(s, 10) != SQLITE_NULL) a.exitStatus = sqlite3_column_int(s, 10);
    out.push_back(std::move(a));
  }
  if (rc != SQLITE_DONE) return failure("reading a run's alerts");
  return out;
}

}  // namespace sondrel
