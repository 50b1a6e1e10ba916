#include "alerts/AlertCommands.h"

#include <csignal>

namespace sondrel {

AlertCommands::AlertCommands(std::shared_ptr<ProcessService> processes, AlertCommandSettings settings,
                             QObject* parent)
    : QObject(parent), processes_(std::move(processes)), settings_(settings) {
  settings_.maxAtOnce = std::max(1, settings_.maxAtOnce);
  settings_.maxWaiting = std::max<std::size_t>(1, settings_.maxWaiting);
}

void AlertCommands::setSettings(AlertCommandSettings settings) {
  settings_ = settings;
  settings_.maxAtOnce = std::max(1, settings_.maxAtOnce);
  settings_.maxWaiting = std::max<std::size_t>(1, settings_.maxWaiting);
  startWaiting();
}

// Destroying a child kills its group and reaps it: nothing outlives us.
AlertCommands::~AlertCommands() = default;

void AlertCommands::run(std::uint64_t id, std::vector<std::string> argv,
                        std::vector<std::pair<std::string, std::string>> environment) {
  ProcessStart how;
  how.argv = std::move(argv);
  how.environment = std::move(environment);
  if (queue_.size() >= settings_.maxWaiting) {
    queue_.pop_front();
    ++dropped_;
  }
  queue_.push_back({id, std::move(how)});
  startWaiting();
}

void AlertCommands::startWaiting() {
  while (!queue_.empty() && static_cast<int>(running_.size()) < settings_.maxAtOnce) {
    Waiting next = std::move(queue_.front());
    queue_.pop_front();
    auto started = processes_ ? processes_->start(next.how) : Result<std::unique_ptr<ChildProcess>>(Error{ENOENT, "No process service"});
    if (!started) {
      // Told after this call returns, as a real end would be.
      const QByteArray why = QByteArray::fromStdString(started.error().message);
      const std::uint64_t id = next.id;
      QMetaObject::invokeMethod(this, [this, id, why] { Q_EMIT finished(id, -1, why, false); }, Qt::QueuedConnection);
      continue;
    }
    const std::uint64_t key = nextKey_++;
    Running& r = running_[key];
    r.id = next.id;
    r.child = std::move(started.value());
    ChildProcess* child = r.child.get();
    connect(child, &ChildProcess::output, this, [this, key](const QByteArray& piece) {
      auto it = running_.find(key);
      if (it == running_.end()) return;
      QByteArray& out = it->second.output;
      if (out.size() < kOutputKept) out += piece.left(kOutputKept - out.size());
    });
    connect(child, &ChildProcess::finished, this, [this, key](int status) { ended(key, status); },
            Qt::QueuedConnection);
    r.deadline = new QTimer(this);
    r.deadline->setSingleShot(true);
    connect(r.deadline, &QTimer::timeout, this, [this, key] {
      auto it = running_.find(key);
      if (it == running_.end()) return;
      Running& late = it->second;
      if (!late.timedOut) {
        late.timedOut = true;
        late.child->terminateGroup(SIGTERM);
        late.deadline->start(1000);  // then for good
      } else {
        late.child->terminateGroup(SIGKILL);
      }
    });
    r.deadline->start(settings_.timeoutMs);
    mostAtOnce_ = std::max(mostAtOnce_, static_cast<int>(running_.size()));
  }
}

void AlertCommands::ended(std::uint64_t key, int status) {
  auto it = running_.find(key);
  if (it == running_.end()) return;
  Running r = std::move(it->second);
  running_.erase(it);
  r.deadline->deleteLater();
  r.child.release()->deleteLater();  // it has ended and been reaped
  Q_EMIT finished(r.id, status, r.output, r.timedOut);
  startWaiting();
}

}  // namespace sondrel
