#include "results/RunLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QMetaObject>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <thread>

#include "core/DataFolder.h"
#include "platform/Files.h"
#include "platform/Prompter.h"

namespace sondrel {
namespace {

Error systemError(const std::string& what, const std::string& path) {
  return Error{errno, what + " " + path + ": " + std::strerror(errno)};
}

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

RunLog::RunLog(std::string dataFolder, QObject* parent)
    : QObject(parent), folder_(AddSlash(dataFolder)), log_(std::make_unique<AppendOnlyLog>()) {}

RunLog::~RunLog() {
  cancelReload_ = true;
  if (reloadThread_.joinable()) reloadThread_.join();
  CloseRunLog();
}

std::string RunLog::logPath() const { return folder_ + std::string(kRunLogFile); }
std::string RunLog::targetsPath() const { return folder_ + std::string(kRunTargetsFile); }

Result<void> RunLog::takeLock() {
  if (lockFd_ >= 0) return {};
  const std::string path = folder_ + std::string(kRunLockFile);
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return folderError(folder_, Error{errno, path});
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) return Error{EWOULDBLOCK, kBusyText};
    errno = err;
    return systemError("Cannot lock", path);
  }
  lockFd_ = fd;
  return {};
}

void RunLog::dropLock() {
  if (lockFd_ < 0) return;
  ::flock(lockFd_, LOCK_UN);
  ::close(lockFd_);
  lockFd_ = -1;
}

bool RunLog::lockedElsewhere() const {
  if (lockFd_ >= 0) return false;
  const std::string path = folder_ + std::string(kRunLockFile);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool busy = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  if (!busy) ::flock(fd, LOCK_UN);
  ::close(fd);
  return busy;
}

Result<void> RunLog::checkFolder() const {
  if (auto writable = CheckFolderWritable(folder_); !writable)
    return folderError(folder_, writable.error());
  return {};
}

void RunLog::removeStaleTemporaries() const {
  // Only a holder of the run lock writes these, so with the lock held any
  // left are from a start that died midway.
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder_, ec)) {
    const std::string name = entry.path().filename().string();
    for (std::string_view file : {kRunLogFile, kRunTargetsFile}) {
      const std::string prefix = "." + std::string(file) + ".";
      if (name.size() > prefix.size() + 4 && name.rfind(prefix, 0) == 0 &&
          name.compare(name.size() - 4, 4, ".tmp") == 0)
        RemoveFile(entry.path().string());
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
  const std::string newTargets = UniqueTempPath(folder_, kRunTargetsFile);
  if (auto written = WriteNewFile(newTargets, labels); !written) {
    dropLock();
    return folderError(folder_, written.error());
  }
  const std::string newLog = UniqueTempPath(folder_, kRunLogFile);
  const std::string header = FormatLogHeader(targetCount, stepLength) + std::string(kLineEnd);
  if (auto made = log_->create(newLog, header); !made) {
    RemoveFile(newTargets);
    dropLock();
    return folderError(folder_, made.error());
  }

  // The log is renamed first: should the program die between the two
  // renames, a log with a header alone shows nothing at the next start, so
  // the previous run's labels are never shown with the wrong results. Should
  // the second rename fail, the previous log comes back from its extra name.
  const std::string log = logPath();
  std::string kept;
  if (FileExists(log)) {
    kept = UniqueTempPath(folder_, kRunLogFile);
    if (!LinkFile(log, kept)) kept.clear();
  }
  auto undo = [&](const Error& e) {
    log_->close();
    RemoveFile(newLog);
    RemoveFile(newTargets);
    if (!kept.empty()) RemoveFile(kept);
    dropLock();
    return folderError(folder_, e);
  };
  if (auto renamed = RenameFile(newLog, log); !renamed) return undo(renamed.error());
  if (auto renamed = RenameFile(newTargets, targetsPath()); !renamed) {
    // Put the previous log back; without a kept name, no log beats a log
    // with the wrong labels.
    if (kept.empty() || !RenameFile(kept, log)) RemoveFile(log);
    kept.clear();
    return undo(renamed.error());
  }
  if (!kept.empty()) RemoveFile(kept);
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
  const bool a = RemoveFile(logPath());
  const bool b = RemoveFile(targetsPath());
  return a && b;
}

namespace {

// Reads the pair in bounded pieces; the memory it takes is the records.
Result<RunData> loadPair(const std::string& logPath, const std::string& targetsPath,
                         const LoadOptions& options) {
  std::ifstream log(logPath, std::ios::binary);
  if (!log) return Error{ENOENT, "No previous run log."};
  std::ifstream targets(targetsPath, std::ios::binary);
  RunData run;
  try {
    if (!LoadRunLog(log, targets ? &targets : nullptr, run, options))
      return Error{0, "The previous run log holds no result."};
  } catch (const std::bad_alloc&) {
    return Error{ENOMEM, "The previous ping test is too large to be loaded in the memory there "
                         "is; it is not shown. Its log is kept: " +
                             logPath};
  }
  return run;
}

}  // namespace

Result<RunData> RunLog::LoadPreviousRun() const { return loadPair(logPath(), targetsPath(), {}); }

bool RunLog::ReloadPreviousRun(IPrompter& prompter) {
  if (reloading_) return false;
  const std::string log = logPath();
  struct stat st {};
  if (::stat(log.c_str(), &st) != 0) return false;
  if (st.st_size > kReloadQuestionBytes &&
      prompter.message(QString::fromLatin1(kLoadQuestion), QString(),
                       IPrompter::Icon::Question,
                       IPrompter::Buttons::YesNo) != IPrompter::Answer::Yes)
    return false;

  reloading_ = true;
  Q_EMIT reloadStarted();
  // The file is read and parsed off the window thread; the window only sees
  // the progress and the finished run. Events posted to this object are
  // dropped with it, and the destructor waits for the thread.
  if (reloadThread_.joinable()) reloadThread_.join();
  cancelReload_ = false;
  const std::uint64_t generation = generation_;
  reloadThread_ = std::thread([this, log, generation] {
    LoadOptions options;
    options.cancel = &cancelReload_;
    options.progress = [this](std::int64_t remaining) {
      QMetaObject::invokeMethod(
          this, [this, remaining] { Q_EMIT reloadProgress(remaining); }, Qt::QueuedConnection);
    };
    std::shared_ptr<RunData> run;
    QString problem;
    try {
      auto loaded = loadPair(log, targetsPath(), options);
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
        [this, run, problem, generation] {
          reloading_ = false;
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
