#pragma once
// Writes a run into the run archive on a thread of its own, so results never
// wait for the disk. The run's thread only queues: add() appends to a vector
// under a mutex. The writer's thread commits one batch per pass, at most one
// every 100 ms (a pass shorter than that waits for the next), and whatever is
// left when the run ends or the writer goes. A crash loses at most the batch
// not yet committed.
//
// The first failure of a run (the archive cannot be opened, the disk is
// full, ...) is told once through the callback, on the writer's thread; the
// run's later results are then dropped, counted, without a try each. The next
// run tries again.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archive/RunArchive.h"

namespace sondrel {

class ArchiveWriter {
 public:
  using FailureReport = std::function<void(std::string message)>;
  struct Options {
    std::chrono::milliseconds commitGap{100};  // least time between two batches
    std::chrono::milliseconds finishWait{10000};  // what destruction waits for the queue
    // Called on the writer's thread with each archive it opens (tests look inside).
    std::function<void(RunArchive&)> opened;
  };

  ArchiveWriter(std::string path, FileService& files, FailureReport onFailure = {});
  ArchiveWriter(std::string path, FileService& files, FailureReport onFailure, Options options);
  ~ArchiveWriter();
  ArchiveWriter(const ArchiveWriter&) = delete;
  ArchiveWriter& operator=(const ArchiveWriter&) = delete;

  void beginRun(ArchiveRunStart start);
  void add(const ArchiveResult& result);
  void passEnded();
  void endRun(RunEnding how, std::int64_t endUtcUs, const LocalDateTime& endLocal);
  // Removes what `rule` lets go (RunArchive::applyRetention), on the thread;
  // nothing when there is no archive yet.
  void keep(const Retention& rule, std::int64_t nowUtcUs);
  // Keeps an alert of the run being written (or last written), or its
  // newer state (RunArchive::putAlert), ahead of results not yet released.
  void putAlert(ArchivedAlert alert);
  // Keeps a run read from the run log (RunArchive::importRun), on the thread.
  void importRun(RunData run, std::int64_t startUtcUs, const LocalDateTime& startLocal);

  // Waits until everything queued that may be committed now is committed
  // (results of a pass not yet ended stay queued); false after `timeout`.
  bool waitIdle(std::chrono::milliseconds timeout);
  // The archive's id of the run being written (0 before it is known).
  std::int64_t runId() const;
  // Results of the current (or last) run dropped after a failure.
  std::int64_t dropped() const;

 private:
  struct Op {
    enum Kind { Begin, Results, End, Keep, Import, Alert } kind = Results;
    ArchiveRunStart start;
    std::vector<ArchiveResult> results;
    RunEnding how = RunEnding::Stopped;
    // The op's moment: End the run's end, Keep now, Import the run's start.
    std::int64_t utcUs = 0;
    LocalDateTime local;
    Retention rule;                     // Keep: what stays
    std::shared_ptr<RunData> imported;  // Import: the run
    ArchivedAlert alert;                // Alert: the alert
  };

  // Queues an op of no run (retention, an import) ahead of the run's results
  // not yet released, which stay for their pass's batch. Called with the
  // mutex held.
  void queueAside(Op op);
  void loop();
  bool idleLocked() const;
  void handle(Op& op);
  void fail(const std::string& message);
  // Opens the archive when it is not open; what its opening has to say (a
  // damaged file put aside, a newer format) is told once.
  bool ensureOpen();

  const std::string path_;
  FileService& files_;
  const FailureReport onFailure_;
  const Options options_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;   // work for the thread
  std::condition_variable idle_;   // the thread has nothing it may do now
  std::deque<Op> ops_;
  std::size_t ready_ = 0;  // results of the last op a pass end has released
  bool stop_ = false;
  bool abandon_ = false;
  bool busy_ = false;
  std::int64_t runId_ = 0;
  std::int64_t dropped_ = 0;
  sqlite3* interruptible_ = nullptr;  // the writer's connection, for a stop that cannot wait

  // The writer's thread only.
  std::unique_ptr<RunArchive> archive_;
  bool failed_ = false;
  std::chrono::steady_clock::time_point lastCommit_{};

  std::thread thread_;
};

}  // namespace sondrel
