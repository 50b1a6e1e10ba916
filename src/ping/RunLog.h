#pragma once
// The run log files of the data folder: "Tolvane_DB3.txt" (one line per
// result, appended and flushed as each result comes) and "Tolvane_DB4.txt"
// (the run's target labels), and their reload at start-up.
//
// While a run logs, an exclusive lock on "Tolvane_DB3.lock" in the data
// folder is held, so a second instance of the program (window or command
// line) can neither start a run over this one's log nor delete it.

#include <sys/types.h>

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/common/Result.h"
#include "core/ping/RunRecords.h"
#include "ping/RunJournal.h"

namespace sondrel {

class AppendLog;
class FileService;
class FolderLock;
class IPrompter;

inline constexpr std::string_view kRunLockFile = "Tolvane_DB3.lock";
// Logs larger than this many bytes are reloaded only when the user agrees.
inline constexpr std::int64_t kReloadQuestionBytes = 1'000'000;

inline constexpr const char* kLoadQuestion = "Load the pre ping test log ?";

class RunLog final : public RunJournal {
  Q_OBJECT
 public:
  // `dataFolder` ends in "/" (DataFolder()); every file goes through `files`
  // (it must outlive this).
  RunLog(std::string dataFolder, FileService& files, QObject* parent = nullptr);
  ~RunLog() override;
  Q_DISABLE_COPY_MOVE(RunLog)

  const std::string& dataFolder() const { return folder_; }
  std::string logPath() const override;
  std::string targetsPath() const;

  // Whether the data folder can take the run's files; the message for the
  // user (the folder, that it cannot be written, and why) when not.
  Result<void> checkFolder() const override;

  // Takes the run lock, writes the new pair of files whole under temporary
  // names and puts them in the place of the previous pair, and keeps the
  // result log open. Fails with a message for the user when another instance
  // is running a test or the files cannot be written; the previous pair is
  // left as it was then.
  Result<void> StartRunLog(std::int32_t targetCount, std::int32_t stepLength,
                           const std::vector<std::string>& targetLabels);
  // The journal's face of it: StartRunLog for the run's targets, which the
  // log keeps for the lines that name them.
  Result<void> beginRun(const RunData& run) override;
  // Each result of the run begun is appended (AppendResult); the first that
  // cannot be is told once through problem().
  void resultAdded(std::int64_t row, const ResultRecord& record, const EchoDetail& echo) override;
  // The log's stamp while it is still this run's file, then CloseRunLog; the
  // results that did not reach the log are told through problem().
  std::optional<FileStamp> endRun() override;
  // Appends one result line and hands it to the system at once, so a crash or
  // kill loses no completed result. The first failed write stops the logging
  // of this run (the log keeps its whole lines) and gives the message saying
  // so; every later result fails with kLogStopped and is counted.
  Result<void> AppendResult(const ResultRecord& record, std::string_view ip);
  static constexpr int kLogStopped = -1;
  // Results of the current (or last) run that did not reach the log.
  std::int64_t unwritten() const { return unwritten_; }
  // Closes the result log and releases the run lock. Safe when nothing is open.
  void CloseRunLog();
  bool isOpen() const;
  // Replaces write(2) for the result log; tests put failures in.
  void setWriter(std::function<ssize_t(int, const char*, std::size_t)> writer);

  // Deletes both files, also when read-only. Refused (false) while a run logs
  // into them, in this instance or another.
  bool DeleteRunLog();

  // Deletes both files after an export of the run read from or written to
  // the log stamped `exported` (RunData::logStamp), but only while the log is
  // still that file as it was then: a run logged since by another program,
  // or a log that grew, was not exported and is kept.
  enum class Deletion { Deleted, NoLog, KeptOther, Busy, Failed };
  Deletion DeleteExportedRunLog(const std::optional<FileStamp>& exported);
  // The result log as it is now.
  std::optional<FileStamp> logStamp() const;

  // True when another holder has the run lock now.
  bool lockedElsewhere() const;

  // Start-up reload. Asks `prompter` first when the log is larger than
  // 1,000,000 bytes. The file is read on a worker thread in bounded pieces;
  // progress and the result come back as signals on this object's thread.
  // A run log started meanwhile wins: the reload then finishes with nothing.
  // False when nothing is to be loaded (no log, or the user declined); no
  // signal follows then.
  bool ReloadPreviousRun(IPrompter& prompter) override;
  bool reloading() const { return reloading_; }
  // Asks a reload under way to give up soon (its result is not wanted).
  void cancelReload() override;

  // The same reload, on the calling thread, without questions.
  Result<RunData> loadPreviousRun() const override;

 private:
  std::string folder_;
  FileService& files_;
  std::unique_ptr<AppendLog> log_;
  std::unique_ptr<FolderLock> lock_;
  std::uint64_t generation_ = 0;  // run logs started; tells a stale reload
  std::int64_t unwritten_ = 0;
  std::string logError_;  // why this run's logging stopped
  std::vector<std::string> addresses_;  // of the run begun, for its lines
  bool problemTold_ = false;            // the run's logging stopped, and the user knows
  bool reloading_ = false;
  std::atomic<bool> cancelReload_{false};
  std::thread reloadThread_;

  Result<void> takeLock();
  void dropLock();
  void removeStaleTemporaries() const;
};

}  // namespace sondrel
