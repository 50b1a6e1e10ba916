#include "results/RunLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QMetaObject>
#include <cerrno>
#include <cstring>
#include <thread>

#include "core/DataFolder.h"
#include "platform/Prompter.h"

namespace sondrel {
namespace {

Error systemError(const std::string& what, const std::string& path) {
  return Error{errno, what + " " + path + ": " + std::strerror(errno)};
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Removes a file also when it is read-only; a missing file is no failure.
bool removeForced(const std::string& path) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  ::chmod(path.c_str(), 0644);
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

// Starts a file afresh: removed (also when read-only), then created empty.
int createFresh(const std::string& path, int extraFlags) {
  removeForced(path);
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | extraFlags, 0644);
}

bool readWhole(const std::string& path, std::string& out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_size > 0) out.reserve(static_cast<size_t>(st.st_size));
  char buf[1 << 16];
  bool ok = true;
  while (true) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    out.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return ok;
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

const char* kBusyText =
    "Another copy of the program is running a ping test and writing its log in this data "
    "folder. Stop that test first.";

}  // namespace

RunLog::RunLog(std::string dataFolder, QObject* parent)
    : QObject(parent), folder_(AddSlash(dataFolder)) {}

RunLog::~RunLog() {
  if (reloadThread_.joinable()) reloadThread_.join();
  CloseRunLog();
}

std::string RunLog::logPath() const { return folder_ + std::string(kRunLogFile); }
std::string RunLog::targetsPath() const { return folder_ + std::string(kRunTargetsFile); }

Result<void> RunLog::takeLock() {
  if (lockFd_ >= 0) return {};
  const std::string path = folder_ + std::string(kRunLockFile);
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return systemError("Cannot open", path);
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

Result<void> RunLog::StartRunLog(std::int32_t targetCount, std::int32_t stepLength,
                                 const std::vector<std::string>& targetLabels) {
  CloseRunLog();
  if (auto locked = takeLock(); !locked) return locked;

  const std::string log = logPath();
  const int fd = createFresh(log, O_APPEND);
  if (fd < 0) {
    Error e = systemError("Cannot create", log);
    dropLock();
    return e;
  }
  const std::string header = FormatLogHeader(targetCount, stepLength) + std::string(kLineEnd);
  if (!writeAll(fd, header)) {
    Error e = systemError("Cannot write", log);
    ::close(fd);
    dropLock();
    return e;
  }

  const std::string targets = targetsPath();
  const int tfd = createFresh(targets, 0);
  std::string labels;
  for (std::int32_t k = 0; k < targetCount; ++k) {
    if (static_cast<size_t>(k) < targetLabels.size()) labels += targetLabels[static_cast<size_t>(k)];
    labels += kLineEnd;
  }
  const bool labelsWritten = tfd >= 0 && writeAll(tfd, labels);
  if (!labelsWritten) {
    Error e = systemError("Cannot write", targets);
    if (tfd >= 0) ::close(tfd);
    ::close(fd);
    dropLock();
    return e;
  }
  ::close(tfd);
  fd_ = fd;
  return {};
}

Result<void> RunLog::AppendResult(const ResultRecord& record, std::string_view ip) {
  if (fd_ < 0) return Error{EBADF, "The result log is not open."};
  std::string line = FormatLogLine(record, ip);
  line += kLineEnd;
  // One write per line: a kill can cut at most this line short, and the
  // reload leaves such a line out.
  if (!writeAll(fd_, line)) return systemError("Cannot write", logPath());
  return {};
}

void RunLog::CloseRunLog() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  dropLock();
}

bool RunLog::DeleteRunLog() {
  // Deleting a log that is being written would lose the rest of that run.
  if (fd_ >= 0 || lockedElsewhere()) return false;
  const bool a = removeForced(logPath());
  const bool b = removeForced(targetsPath());
  return a && b;
}

Result<RunData> RunLog::LoadPreviousRun() const {
  std::string log;
  if (!readWhole(logPath(), log)) return Error{ENOENT, "No previous run log."};
  std::string labels;
  const bool haveTargets = readWhole(targetsPath(), labels);
  const std::string_view labelView = labels;
  RunData run;
  if (!LoadRunLog(log, haveTargets ? &labelView : nullptr, run))
    return Error{0, "The previous run log holds no result."};
  return run;
}

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
  const std::string targets = targetsPath();
  reloadThread_ = std::thread([this, log, targets] {
    auto run = std::make_shared<RunData>();
    std::string content;
    std::string labels;
    bool loaded = false;
    if (readWhole(log, content)) {
      const bool haveTargets = exists(targets) && readWhole(targets, labels);
      const std::string_view labelView = labels;
      loaded = LoadRunLog(content, haveTargets ? &labelView : nullptr, *run,
                          [this](std::int64_t remaining) {
                            QMetaObject::invokeMethod(
                                this, [this, remaining] { Q_EMIT reloadProgress(remaining); },
                                Qt::QueuedConnection);
                          });
    }
    if (!loaded) run.reset();
    QMetaObject::invokeMethod(
        this,
        [this, run] {
          reloading_ = false;
          Q_EMIT reloadFinished(run);
        },
        Qt::QueuedConnection);
  });
  return true;
}

}  // namespace sondrel
