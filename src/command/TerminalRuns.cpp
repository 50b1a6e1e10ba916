#include "command/TerminalRuns.h"

#include <algorithm>
#include <csignal>

#include "core/command/TerminalCommand.h"
#include "ports/Launcher.h"
#include "ports/ProcessService.h"

namespace sondrel {
namespace {

// A terminal that fails within this time never showed a window the user
// could have closed.
constexpr qint64 kFailedAtOnceMs = 3000;
constexpr int kOutputKept = 400;

}  // namespace

TerminalRuns::TerminalRuns(std::shared_ptr<ILauncher> launcher,
                           std::shared_ptr<ProcessService> processes, QObject* parent)
    : QObject(parent), launcher_(std::move(launcher)), processes_(std::move(processes)) {}

TerminalRuns::~TerminalRuns() {
  // Destroying a child kills its group; a terminal the user still works in
  // outlives the program instead.
  for (auto& child : children_)
    if (child->running()) (void)child.release();
  for (auto& child : closing_)
    if (child->running()) (void)child.release();
}

Result<void> TerminalRuns::Run(const std::string& command) {
  const QString terminal = launcher_ ? launcher_->findTerminal() : QString();
  if (terminal.isEmpty()) return Error{ENOENT, NoTerminalText()};
  if (!processes_) return Error{ENOSYS, "Programs cannot be started."};
  ProcessStart how;
  how.argv = TerminalArgv(terminal.toStdString(), command);
  auto started = processes_->start(how);
  if (!started) return started.error();
  ChildProcess* child = started.value().get();
  starts_[child].since.start();
  connect(child, &ChildProcess::output, this, [this, child](const QByteArray& piece) {
    QByteArray& kept = starts_[child].output;
    if (kept.size() < kOutputKept) kept += piece.left(kOutputKept - kept.size());
  });
  connect(child, &ChildProcess::finished, this,
          [this, child](int status) { ended(child, status); });
  children_.push_back(std::move(started.value()));
  return {};
}

void TerminalRuns::CloseAll() {
  for (auto& child : children_) {
    if (!child->running()) continue;
    child->terminateGroup(SIGTERM);
    closing_.push_back(std::move(child));
  }
  children_.clear();
}

void TerminalRuns::ended(ChildProcess* child, int status) {
  const bool remembered = std::any_of(children_.begin(), children_.end(),
                                      [child](const auto& c) { return c.get() == child; });
  const Start start = starts_[child];
  forget(child);
  if (!remembered || status == 0 || start.since.elapsed() > kFailedAtOnceMs) return;
  QString description = QStringLiteral("The terminal ended at once (exit status %1).").arg(status);
  const QString said = QString::fromLocal8Bit(start.output).trimmed();
  if (!said.isEmpty()) description += QLatin1Char(' ') + said;
  Q_EMIT terminalFailed(description);
}

void TerminalRuns::forget(ChildProcess* child) {
  starts_.erase(child);
  for (auto* list : {&children_, &closing_}) {
    auto it = std::find_if(list->begin(), list->end(),
                           [child](const auto& c) { return c.get() == child; });
    if (it == list->end()) continue;
    // Its own signal is still being delivered: delete it afterwards.
    it->release()->deleteLater();
    list->erase(it);
  }
}

}  // namespace sondrel
