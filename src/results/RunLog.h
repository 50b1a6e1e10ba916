#pragma once
// The run log files of the data folder: "Tolvane_DB3.txt" (one line per
// result, appended and flushed as each result comes) and "Tolvane_DB4.txt"
// (the run's target labels), and their reload at start-up.
//
// While a run logs, an exclusive lock on "Tolvane_DB3.lock" in the data
// folder is held, so a second instance of the program (window or command
// line) can neither start a run over this one's log nor delete it.

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/Result.h"
#include "core/RunRecords.h"

namespace sondrel {

class IPrompter;

inline constexpr std::string_view kRunLockFile = "Tolvane_DB3.lock";
// Logs larger than this many bytes are reloaded only when the user agrees.
inline constexpr std::int64_t kReloadQuestionBytes = 1'000'000;

inline constexpr const char* kLoadingText = "Loading previous test results, please wait .....";
inline constexpr const char* kLoadQuestion = "Load the pre ping test log ?";
inline constexpr const char* kPreviousRunTitle = "Previous Ping Test Result";

class RunLog final : public QObject {
  Q_OBJECT
 public:
  // `dataFolder` ends in "/" (DataFolder()).
  explicit RunLog(std::string dataFolder, QObject* parent = nullptr);
  ~RunLog() override;
  Q_DISABLE_COPY_MOVE(RunLog)

  const std::string& dataFolder() const { return folder_; }
  std::string logPath() const;
  std::string targetsPath() const;

  // Takes the run lock, starts both files afresh, writes the header and the
  // labels, and keeps the result log open. Fails with a message for the user
  // when another instance is running a test or a file cannot be written;
  // nothing is touched then.
  Result<void> StartRunLog(std::int32_t targetCount, std::int32_t stepLength,
                           const std::vector<std::string>& targetLabels);
  // Appends one result line and hands it to the system at once, so a crash or
  // kill loses no completed result. Fails when no log is open or the write fails.
  Result<void> AppendResult(const ResultRecord& record, std::string_view ip);
  // Closes the result log and releases the run lock. Safe when nothing is open.
  void CloseRunLog();
  bool isOpen() const { return fd_ >= 0; }

  // Deletes both files, also when read-only. Refused (false) while a run logs
  // into them, in this instance or another.
  bool DeleteRunLog();

  // True when another holder has the run lock now.
  bool lockedElsewhere() const;

  // Start-up reload. Asks `prompter` first when the log is larger than
  // 1,000,000 bytes. The file is read on a worker thread; progress and the
  // result come back as signals on this object's thread. False when nothing
  // is to be loaded (no log, or the user declined); no signal follows then.
  bool ReloadPreviousRun(IPrompter& prompter);
  bool reloading() const { return reloading_; }

  // The same reload, on the calling thread, without questions.
  Result<RunData> LoadPreviousRun() const;

 Q_SIGNALS:
  // The reload has begun: the window shows kLoadingText, the busy pointer and
  // the progress label.
  void reloadStarted();
  // Lines still to go (a few times a second, and 0 at the end).
  void reloadProgress(qint64 remaining);
  // The reload is over; `run` is null when the log held nothing.
  void reloadFinished(std::shared_ptr<sondrel::RunData> run);

 private:
  std::string folder_;
  int fd_ = -1;
  int lockFd_ = -1;
  bool reloading_ = false;
  std::thread reloadThread_;

  Result<void> takeLock();
  void dropLock();
};

}  // namespace sondrel
