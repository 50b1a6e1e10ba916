#pragma once
// Children that play a script: their output pieces and exit status come
// through the event loop as a real child's would, one step per turn.

#include <QTimer>
#include <cerrno>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ports/ProcessService.h"

namespace sondrel::fakes {

struct ChildScript {
  std::vector<QByteArray> pieces;
  int exitStatus = 0;
  bool waitForTermination = false;  // runs until terminateGroup()
};

class FakeProcessService final : public ProcessService {
 public:
  // What a start of `program` (argv[0]) does; programs without a script
  // fail to start with ENOENT.
  void script(const std::string& program, ChildScript script) {
    scripts_[program] = std::move(script);
  }
  const std::vector<ProcessStart>& started() const { return started_; }
  // The pid and signal of each terminateGroup() on a running child.
  const std::vector<std::pair<qint64, int>>& terminations() const { return terminations_; }

  Result<std::unique_ptr<ChildProcess>> start(const ProcessStart& how) override {
    started_.push_back(how);
    auto it = how.argv.empty() ? scripts_.end() : scripts_.find(how.argv.front());
    if (it == scripts_.end()) return Error{ENOENT, "Cannot start: no such program"};
    return std::unique_ptr<ChildProcess>(std::make_unique<Child>(it->second, nextPid_++, &terminations_));
  }

 private:
  class Child final : public ChildProcess {
   public:
    Child(ChildScript script, qint64 pid, std::vector<std::pair<qint64, int>>* terminations)
        : script_(std::move(script)), pid_(pid), terminations_(terminations) {
      QTimer::singleShot(0, this, [this] { step(); });
    }
    qint64 pid() const override { return pid_; }
    bool running() const override { return status_ < 0; }
    int exitStatus() const override { return status_; }
    int socketFd() const override { return -1; }
    void terminateGroup(int signal) override {
      if (status_ >= 0) return;
      terminations_->push_back({pid_, signal});
      terminatedBy_ = signal;
      QTimer::singleShot(0, this, [this] { step(); });
    }

   private:
    ChildScript script_;
    qint64 pid_;
    std::vector<std::pair<qint64, int>>* terminations_;
    std::size_t next_ = 0;
    int status_ = -1;
    int terminatedBy_ = 0;

    void step() {
      if (status_ >= 0) return;
      if (next_ < script_.pieces.size()) {
        Q_EMIT output(script_.pieces[next_++].left(kOutputPieceBytes));
        QTimer::singleShot(0, this, [this] { step(); });
        return;
      }
      if (script_.waitForTermination && !terminatedBy_) return;
      status_ = terminatedBy_ ? 128 + terminatedBy_ : script_.exitStatus;
      Q_EMIT finished(status_);
    }
  };

  std::map<std::string, ChildScript> scripts_;
  std::vector<ProcessStart> started_;
  std::vector<std::pair<qint64, int>> terminations_;
  qint64 nextPid_ = 1000;
};

}  // namespace sondrel::fakes
