#include "ping/RunLog.h"

#include <QMetaObject>
#include <cerrno>
#include <cstring>
#include <new>
#include <thread>

#include "core/common/DataFolder.h"
#include "core/ports/FileService.h"
#include "ports/Prompter.h"

namespace sondrel {
namespace {

// What a user acts on when the data folder cannot take the run's files.
Error folderError(const std::string& folder, const Error& cause) {
  std::string reason = cause.code ? std::strerror(cause.code) : cause.message;
  return Error{cause.code, "The data folder " + folder +
                               " cannot be written: " + reason +
                               ".\nThe results of a ping test are kept there. Make the folder "
                               "writable (or free space on its disk) and start the test again."};
}

const char* kBusyText =
    "Another copy of the program is running a ping test and writing its log in this data "
    "folder. Stop that test first.";

}  // namespace

RunLog::RunLog(std::string dataFolder, FileService& files, QObject* parent)
    : RunJournal(parent), folder_(AddSlash(dataFolder)), files_(files), log_(files.newAppendLog()) {}

RunLog::~RunLog() {
  cancelReload_ = true;
  if (reloadThread_.joinable()) reloadThread_.join();
  CloseRunLog();
}

std::string RunLog::logPath() const { return folder_ + std::string(kRunLogFile); }
std::string RunLog::targetsPath() const { return folder_ + std::string(kRunTargetsFile); }

Result<void> RunLog::takeLock() {
  if (lock_) return {};
  const std::string path = folder_ + std::string(kRunLockFile);
  auto locked = files_.lockFile(path);
  if (!locked) {
    const Error& e = locked.error();
    if (e.code == EWOULDBLOCK) return Error{EWOULDBLOCK, kBusyText};
    // A lock file that cannot be made is a folder the user must mend.
    if (e.message.rfind("Cannot lock", 0) == 0) return e;
    return folderError(folder_, e);
  }
  lock_ = std::move(locked.value());
  return {};
}

void RunLog::dropLock() { lock_.reset(); }

bool RunLog::lockedElsewhere() const {
  if (lock_) return false;
  return files_.lockedElsewhere(folder_ + std::string(kRunLockFile));
}

Result<void> RunLog::checkFolder() const {
  if (auto writable = files_.checkFolderWritable(folder_); !writable)
    return folderError(folder_, writable.error());
  return {};
}

void RunLog::removeStaleTemporaries() const {
  // Only a holder of the run lock writes these, so with the lock held any
  // left are from a start that died midway.
  for (const std::string& name : files_.folderNames(folder_)) {
    for (std::string_view file : {kRunLogFile, kRunTargetsFile}) {
      const std::string prefix = "." + std::string(file) + ".";
      if (name.size() > prefix.size() + 4 && name.rfind(prefix, 0) == 0 &&
          name.compare(name.size() - 4, 4, ".tmp") == 0)
        files_.removeFile(folder_ + name);
    }
  }
}

Result<void> RunLog::StartRunLog(std::int32_t targetCount, std::int32_t stepLength,
                                 const std::vector<std::string>& targetLabels) {
  CloseRunLog();
  if (auto writable = checkFolder(); !writable) return writable;
  if (auto locked = takeLock(); !locked) return locked;
  removeStaleTemporaries();
  ++generation_;
  unwritten_ = 0;
  logError_.clear();

  // The new pair is written whole under temporary names first; only then
  // does it take the place of the previous run's pair, so a failure on the
  // way leaves that pair as it was.
  std::string labels;
  for (std::int32_t k = 0; k < targetCount; ++k) {
    if (static_cast<size_t>(k) < targetLabels.size()) labels += targetLabels[static_cast<size_t>(k)];
    labels += kLineEnd;
  }
  const std::string newTargets = files_.uniqueTempPath(folder_, kRunTargetsFile);
  if (auto written = files_.writeNewFile(newTargets, labels); !written) {
    dropLock();
    return folderError(folder_, written.error());
  }
  const std::string newLog = files_.uniqueTempPath(folder_, kRunLogFile);
  const std::string header = FormatLogHeader(targetCount, stepLength) + std::string(kLineEnd);
  if (auto made = log_->create(newLog, header); !made) {
    files_.removeFile(newTargets);
    dropLock();
    return folderError(folder_, made.error());
  }

  // The log is renamed first: should the program die between the two
  // renames, a log with a header alone shows nothing at the next start, so
  // the previous run's labels are never shown with the wrong results. Should
  // the second rename fail, the previous log comes back from its extra name.
  const std::string log = logPath();
  std::string kept;
  if (files_.fileExists(log)) {
    kept = files_.uniqueTempPath(folder_, kRunLogFile);
    if (!files_.linkFile(log, kept)) kept.clear();
  }
  auto undo = [&](const Error& e) {
    log_->close();
    files_.removeFile(newLog);
    files_.removeFile(newTargets);
    if (!kept.empty()) files_.removeFile(kept);
    dropLock();
    return folderError(folder_, e);
  };
  if (auto renamed = files_.renameFile(newLog, log); !renamed) return undo(renamed.error());
  if (auto renamed = files_.renameFile(newTargets, targetsPath()); !renamed) {
    // Put the previous log back; without a kept name, no log beats a log
    // with the wrong labels.
    if (kept.empty() || !files_.renameFile(kept, log)) files_.removeFile(log);
    kept.clear();
    return undo(renamed.error());
  }
  if (!kept.empty()) files_.removeFile(kept);
  return {};
}

Result<void> RunLog::AppendResult(const ResultRecord& record, std::string_view ip) {
  if (!log_->isOpen()) return Error{EBADF, "The result log is not open."};
  // After a failed write nothing more goes into this run's log: the lines in
  // it stay whole and in their order, and the rest is counted.
  if (!logError_.empty()) {
    ++unwritten_;
    return Error{kLogStopped, logError_};
  }
  std::string line = FormatLogLine(record, ip);
  line += kLineEnd;
  // One write per line, handed to the system at once: a kill can cut at most
  // this line short, and the reload leaves such a line out.
  if (auto written = log_->appendLine(line); !written) {
    ++unwritten_;
    logError_ = "The results of this ping test are no longer written to the log " + logPath() +
                ": " + std::strerror(written.error().code) +
                ".\nThe test goes on; the results already in the log are kept.";
    return Error{written.error().code, logError_};
  }
  return {};
}

Result<void> RunLog::beginRun(const RunData& run) {
  addresses_.clear();
  problemTold_ = false;
  if (auto started = StartRunLog(run.targetCount, run.stepLength, run.targetLabels); !started)
    return started;
  addresses_ = run.addresses;
  return {};
}

void RunLog::resultAdded(std::int64_t, const ResultRecord& record, const EchoDetail&) {
  const std::string_view ip =
      record.target < addresses_.size() ? std::string_view(addresses_[record.target]) : std::string_view();
  const auto written = AppendResult(record, ip);
  if (!written && !problemTold_) {
    problemTold_ = true;
    Q_EMIT problem(QString::fromStdString(written.error().message));
  }
}

std::optional<FileStamp> RunLog::endRun() {
  // Taken under the run lock: the log is still this run's as it ends.
  std::optional<FileStamp> stamp = isOpen() ? logStamp() : std::nullopt;
  CloseRunLog();
  addresses_.clear();
  if (unwritten() > 0)
    Q_EMIT problem(QStringLiteral("%1 results of this ping test could not be written to the log %2.")
                       .arg(unwritten())
                       .arg(QString::fromStdString(logPath())));
  return stamp;
}

void RunLog::CloseRunLog() {
  log_->close();
  dropLock();
}

bool RunLog::isOpen() const { return log_->isOpen(); }

void RunLog::setWriter(std::function<ssize_t(int, const char*, std::size_t)> writer) {
  log_->setWriter(std::move(writer));
}

bool RunLog::DeleteRunLog() {
  // Deleting a log that is being written would lose the rest of that run.
  if (log_->isOpen() || lockedElsewhere()) return false;
  const bool a = files_.removeFile(logPath());
  const bool b = files_.removeFile(targetsPath());
  return a && b;
}

RunLog::Deletion RunLog::DeleteExportedRunLog(const std::optional<FileStamp>& exported) {
  if (log_->isOpen()) return Deletion::Busy;
  // With the run lock held no run can start and put its log in the place of
  // the one checked here before it is deleted.
  if (auto locked = takeLock(); !locked)
    return locked.error().code == EWOULDBLOCK ? Deletion::Busy : Deletion::Failed;
  Deletion outcome = Deletion::Deleted;
  const std::optional<FileStamp> now = files_.fileStamp(logPath());
  if (!now) {
    outcome = Deletion::NoLog;
  } else if (!exported || *now != *exported) {
    outcome = Deletion::KeptOther;
  } else {
    const bool a = files_.removeFile(logPath());
    const bool b = files_.removeFile(targetsPath());
    if (!a || !b) outcome = Deletion::Failed;
  }
  dropLock();
  return outcome;
}

namespace {

// Reads the pair in bounded pieces; the memory it takes is the records.
Result<RunData> loadPair(FileService& files, const std::string& logPath,
                         const std::string& targetsPath, const LoadOptions& options) {
  auto log = files.openForReading(logPath);
  if (!log) return Error{ENOENT, "No previous run log."};
  auto targets = files.openForReading(targetsPath);
  RunData run;
  LoadOptions withPages = options;
  withPages.recordMemory = [&files](void* data, std::size_t bytes) { files.adviseBulkMemory(data, bytes); };
  try {
    if (!LoadRunLog(*log.value(), targets ? targets.value().get() : nullptr, run, withPages))
      return Error{0, "The previous run log holds no result."};
  } catch (const std::bad_alloc&) {
    return Error{ENOMEM, "The previous ping test is too large to be loaded in the memory there "
                         "is; it is not shown. Its log is kept: " +
                             logPath};
  }
  return run;
}

}  // namespace

Result<RunData> RunLog::loadPreviousRun() const {
  const std::optional<FileStamp> before = files_.fileStamp(logPath());
  Result<RunData> run = loadPair(files_, logPath(), targetsPath(), {});
  if (run && before && files_.fileStamp(logPath()) == before) run.value().logStamp = before;
  return run;
}

std::optional<FileStamp> RunLog::logStamp() const { return files_.fileStamp(logPath()); }

bool RunLog::ReloadPreviousRun(IPrompter& prompter) {
  if (reloading_) return false;
  const std::string log = logPath();
  const auto size = files_.fileSize(log);
  if (!size) return false;
  if (*size > kReloadQuestionBytes &&
      prompter.message(QString::fromLatin1(kLoadQuestion), QString(),
                       IPrompter::Icon::Question,
                       IPrompter::Buttons::YesNo) != IPrompter::Answer::Yes)
    return false;

  // The log as it is before the read; only a log found the same after it is
  // known to be the one read.
  const std::optional<FileStamp> before = files_.fileStamp(log);
  reloading_ = true;
  Q_EMIT reloadStarted();
  // The file is read and parsed off the window thread; the window only sees
  // the progress and the finished run. Events posted to this object are
  // dropped with it, and the destructor waits for the thread.
  if (reloadThread_.joinable()) reloadThread_.join();
  cancelReload_ = false;
  const std::uint64_t generation = generation_;
  reloadThread_ = std::thread([this, log, generation, before] {
    LoadOptions options;
    options.cancel = &cancelReload_;
    options.progress = [this](std::int64_t remaining) {
      QMetaObject::invokeMethod(
          this, [this, remaining] { Q_EMIT reloadProgress(remaining); }, Qt::QueuedConnection);
    };
    std::shared_ptr<RunData> run;
    QString problem;
    try {
      auto loaded = loadPair(files_, log, targetsPath(), options);
      if (loaded)
        run = std::make_shared<RunData>(std::move(loaded.value()));
      else if (loaded.error().code == ENOMEM)
        problem = QString::fromStdString(loaded.error().message);
    } catch (const std::bad_alloc&) {
      run.reset();
      problem = QStringLiteral("The previous ping test is too large to be loaded; it is not shown.");
    }
    QMetaObject::invokeMethod(
        this,
        [this, run, problem, generation, before] {
          reloading_ = false;
          if (run && before && files_.fileStamp(logPath()) == before) run->logStamp = before;
          // A run started since: the files hold that run now, and so must
          // the memory; the old run is dropped.
          if (generation != generation_) {
            Q_EMIT reloadFinished(nullptr);
            return;
          }
          if (!problem.isEmpty()) Q_EMIT reloadProblem(problem);
          Q_EMIT reloadFinished(run);
        },
        Qt::QueuedConnection);
  });
  return true;
}

void RunLog::cancelReload() { cancelReload_ = true; }

}  // namespace sondrel
