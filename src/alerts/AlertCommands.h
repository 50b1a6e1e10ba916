#pragma once
// The user's commands that alerts start: each from its argument vector
// through the process service (no shell), with the alert told in its
// environment. A few run at once and the rest wait their turn, so a flood
// of alerts cannot flood the machine with processes; one that runs past its
// time-out is stopped (SIGTERM to its group, SIGKILL a second later). What
// each wrote and how it ended is handed back for the alert log.

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ports/ProcessService.h"

namespace sondrel {

struct AlertCommandSettings {
  int maxAtOnce = 4;
  int timeoutMs = 30'000;
  // Commands waiting beyond this many are dropped, the oldest first.
  std::size_t maxWaiting = 10'000;
};

class AlertCommands final : public QObject {
  Q_OBJECT
 public:
  // The most output kept of one command.
  static constexpr int kOutputKept = 4096;

  AlertCommands(std::shared_ptr<ProcessService> processes, AlertCommandSettings settings = {},
                QObject* parent = nullptr);
  ~AlertCommands() override;

  // Starts `argv` now, or once fewer than maxAtOnce run. `id` comes back
  // with its end.
  void run(std::uint64_t id, std::vector<std::string> argv,
           std::vector<std::pair<std::string, std::string>> environment);

  // New limits, for the commands started from now on.
  void setSettings(AlertCommandSettings settings);

  int running() const { return static_cast<int>(running_.size()); }
  int waiting() const { return static_cast<int>(queue_.size()); }
  // The most that ran at once so far.
  int mostAtOnce() const { return mostAtOnce_; }
  std::int64_t dropped() const { return dropped_; }

 Q_SIGNALS:
  // The command of `id` ended: its exit status (128 + signal when one ended
  // it, -1 when it could not start), its output (at most kOutputKept bytes;
  // or why it did not start), whether its time-out stopped it.
  void finished(quint64 id, int exitStatus, const QByteArray& output, bool timedOut);

 private:
  struct Waiting {
    std::uint64_t id;
    ProcessStart how;
  };
  struct Running {
    std::uint64_t id = 0;
    std::unique_ptr<ChildProcess> child;
    QByteArray output;
    QTimer* deadline = nullptr;
    bool timedOut = false;
  };
  void startWaiting();
  void ended(std::uint64_t key, int status);

  std::shared_ptr<ProcessService> processes_;
  AlertCommandSettings settings_;
  std::deque<Waiting> queue_;
  std::map<std::uint64_t, Running> running_;  // by a key of our own
  int mostAtOnce_ = 0;
  std::int64_t dropped_ = 0;
  std::uint64_t nextKey_ = 0;
};

}  // namespace sondrel
