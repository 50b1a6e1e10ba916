#pragma once
// The terminal windows the command utility opens: each started through the
// process service and remembered while it runs, so that they can all be
// asked to close at once.

#include <QElapsedTimer>
#include <QObject>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/common/Result.h"

namespace sondrel {

class ChildProcess;
class ILauncher;
class ProcessService;

class TerminalRuns final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(TerminalRuns)

 public:
  TerminalRuns(std::shared_ptr<ILauncher> launcher, std::shared_ptr<ProcessService> processes,
               QObject* parent = nullptr);
  // Terminals still open stay open: the user closes them, as he would a
  // console the program left behind.
  ~TerminalRuns() override;

  // Opens a terminal running `command` and then the user's shell. Fails when
  // there is no terminal emulator (NoTerminalText) or it cannot be started.
  Result<void> Run(const std::string& command);
  // Asks every remembered terminal still running to close (SIGTERM to its
  // process group) and forgets them all.
  void CloseAll();
  // The terminals remembered now.
  int openCount() const { return static_cast<int>(children_.size()); }

 Q_SIGNALS:
  // A terminal ended with a failure right after it was started (no display,
  // a $TERMINAL that does not take -e): what it said, for the user.
  void terminalFailed(const QString& description);

 private:
  void forget(ChildProcess* child);
  void ended(ChildProcess* child, int status);

  std::shared_ptr<ILauncher> launcher_;
  std::shared_ptr<ProcessService> processes_;
  std::vector<std::unique_ptr<ChildProcess>> children_;
  // Asked to close and not yet ended: kept until they end, since letting
  // them go would kill them outright.
  std::vector<std::unique_ptr<ChildProcess>> closing_;
  struct Start {
    QElapsedTimer since;
    QByteArray output;  // the first few hundred bytes
  };
  std::map<ChildProcess*, Start> starts_;
};

}  // namespace sondrel
