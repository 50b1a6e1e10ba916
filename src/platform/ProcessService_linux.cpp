#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/ProcessService_linux.h"

extern char** environ;

namespace sondrel {

ChannelRead ChildProcess::readChannel(char* buffer, std::size_t size, std::size_t* got) const {
  const int fd = socketFd();
  if (fd < 0) return ChannelRead::Closed;
  for (;;) {
    const ssize_t n = ::recv(fd, buffer, size, MSG_DONTWAIT);
    if (n > 0) {
      *got = static_cast<std::size_t>(n);
      return ChannelRead::Data;
    }
    if (n == 0) return ChannelRead::Closed;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return ChannelRead::Nothing;
    return ChannelRead::Closed;
  }
}
namespace {

// Descriptors handed to the child are first moved up here, so that none of
// them can stand on the number another is to get.
constexpr int kHighFd = 100;

// A program named without a folder is looked for on the search path, then in
// the system folders a desktop user's path often lacks (where `ip` lives).
// Empty path entries (the working folder) are not searched. "" when none.
std::string findProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  std::string folders;
  if (const char* path = ::getenv("PATH")) folders = path;
  folders += ":/usr/local/sbin:/usr/sbin:/sbin";
  size_t start = 0;
  while (start < folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    if (end > start && !name.empty()) {
      const std::string candidate = folders.substr(start, end - start) + "/" + name;
      struct stat st {};
      if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
          ::access(candidate.c_str(), X_OK) == 0)
        return candidate;
    }
    start = end + 1;
  }
  return {};
}

int moveHigh(int fd) {
  const int high = ::fcntl(fd, F_DUPFD_CLOEXEC, kHighFd);
  ::close(fd);
  return high;
}

class LinuxChild final : public ChildProcess {
 public:
  LinuxChild(pid_t pid, int outputFd, int socketFd)
      : pid_(pid), outputFd_(outputFd), socketFd_(socketFd) {
    outputNotifier_ = new QSocketNotifier(outputFd_, QSocketNotifier::Read, this);
    connect(outputNotifier_, &QSocketNotifier::activated, this, [this] { readPiece(); });
    // The end of the child comes as a readable pidfd; where there is none,
    // it is looked for a few times a second.
    pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    if (pidFd_ >= 0) {
      exitNotifier_ = new QSocketNotifier(pidFd_, QSocketNotifier::Read, this);
      connect(exitNotifier_, &QSocketNotifier::activated, this, [this] { reap(false); });
    } else {
      pollTimer_ = new QTimer(this);
      connect(pollTimer_, &QTimer::timeout, this, [this] { reap(false); });
      pollTimer_->start(50);
    }
  }

  ~LinuxChild() override {
    if (status_ < 0) {
      ::kill(-pid_, SIGKILL);
      reap(true);
    }
    closeFd(outputFd_);
    closeFd(pidFd_);
    closeFd(socketFd_);
  }

  qint64 pid() const override { return pid_; }
  bool running() const override { return status_ < 0; }
  int exitStatus() const override { return status_; }
  int socketFd() const override { return socketFd_; }
  void terminateGroup(int signal) override {
    // Once reaped, the number may belong to someone else's group.
    if (status_ < 0) ::kill(-pid_, signal);
  }

 private:
  pid_t pid_;
  int outputFd_;
  int socketFd_;
  int pidFd_ = -1;
  int status_ = -1;
  bool finishedSent_ = false;
  QSocketNotifier* outputNotifier_ = nullptr;
  QSocketNotifier* exitNotifier_ = nullptr;
  QTimer* pollTimer_ = nullptr;

  static void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }

  // One piece per wake-up; the notifier comes again while more is there.
  // False at the end of the output or when nothing is there now.
  bool readPiece() {
    if (outputFd_ < 0) return false;
    char piece[kOutputPieceBytes];
    const ssize_t n = ::read(outputFd_, piece, sizeof piece);
    if (n > 0) {
      Q_EMIT output(QByteArray(piece, static_cast<int>(n)));
      return true;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return false;
    outputNotifier_->setEnabled(false);
    closeFd(outputFd_);
    maybeFinish();
    return false;
  }

  void reap(bool wait) {
    if (status_ >= 0) return;
    int raw = 0;
    pid_t done;
    do {
      done = ::waitpid(pid_, &raw, wait ? 0 : WNOHANG);
    } while (done < 0 && errno == EINTR);
    if (done != pid_) return;
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    if (exitNotifier_) exitNotifier_->setEnabled(false);
    if (pollTimer_) pollTimer_->stop();
    if (wait) return;  // being destroyed: no signals
    // What the child wrote before it ended is in the pipe now; a grandchild
    // that keeps the pipe open is not waited for.
    for (int k = 0; k < 1 << 16 && readPiece(); ++k) {
    }
    if (outputFd_ >= 0) {
      outputNotifier_->setEnabled(false);
      closeFd(outputFd_);
    }
    maybeFinish();
  }

  void maybeFinish() {
    if (status_ < 0 || outputFd_ >= 0 || finishedSent_) return;
    finishedSent_ = true;
    Q_EMIT finished(status_);
  }
};

class LinuxProcessService final : public ProcessService {
 public:
  Result<std::unique_ptr<ChildProcess>> start(const ProcessStart& how) override {
    if (how.argv.empty()) return Error{EINVAL, "No program to start."};
    const std::string program = findProgram(how.argv.front());
    if (program.empty()) return failure(ENOENT, how);
    if (how.socketFdInChild >= 0 && (how.socketFdInChild < 3 || how.socketFdInChild >= kHighFd))
      return Error{EINVAL, "The socket cannot be handed over at that descriptor."};

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return failure(errno, how);
    out[1] = moveHigh(out[1]);
    if (out[1] < 0) {
      const int err = errno;
      ::close(out[0]);
      return failure(err, how);
    }
    int pair[2] = {-1, -1};
    if (how.socketFdInChild >= 0) {
      if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        const int err = errno;
        ::close(out[0]);
        ::close(out[1]);
        return failure(err, how);
      }
      pair[1] = moveHigh(pair[1]);
      if (pair[1] < 0) {
        const int err = errno;
        ::close(out[0]);
        ::close(out[1]);
        ::close(pair[0]);
        return failure(err, how);
      }
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    if (pair[1] >= 0) posix_spawn_file_actions_adddup2(&actions, pair[1], how.socketFdInChild);

    // A group of its own, and the signals as a fresh program has them
    // (this program may ignore SIGPIPE or block others).
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD})
      sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                         POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    for (const std::string& arg : how.argv) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    // This program's environment, less the names given, then those given.
    std::vector<std::string> added;
    std::vector<char*> envp;
    if (!how.environment.empty()) {
      for (const auto& [name, value] : how.environment) added.push_back(name + "=" + value.substr(0, value.find('\0')));
      for (char** e = environ; *e; ++e) {
        const std::string_view entry(*e);
        const bool replaced = std::any_of(how.environment.begin(), how.environment.end(), [&](const auto& v) {
          return entry.size() > v.first.size() && entry.compare(0, v.first.size(), v.first) == 0 &&
                 entry[v.first.size()] == '=';
        });
        if (!replaced) envp.push_back(*e);
      }
      for (std::string& a : added) envp.push_back(a.data());
      envp.push_back(nullptr);
    }
    pid_t pid = -1;
    const int err = ::posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(),
                                  envp.empty() ? environ : envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(out[1]);
    if (pair[1] >= 0) ::close(pair[1]);
    if (err != 0) {
      ::close(out[0]);
      if (pair[0] >= 0) ::close(pair[0]);
      return failure(err, how);
    }
    ::fcntl(out[0], F_SETFL, ::fcntl(out[0], F_GETFL) | O_NONBLOCK);
    return std::unique_ptr<ChildProcess>(std::make_unique<LinuxChild>(pid, out[0], pair[0]));
  }

 private:
  static Error failure(int err, const ProcessStart& how) {
    return Error{err, "Cannot start " + how.argv.front() + ": " + std::strerror(err)};
  }
};

}  // namespace

std::unique_ptr<ProcessService> MakeProcessService() {
  return std::make_unique<LinuxProcessService>();
}

}  // namespace sondrel
