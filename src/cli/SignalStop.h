#pragma once
// SIGINT or SIGTERM reaches the event loop through a pipe and stops the run;
// another one while it stops ends the program at once, by that signal.

#include <QSocketNotifier>
#include <memory>

#include "ping/PingRun.h"
#include "platform/SignalPipe.h"

namespace sondrel::cli {

class SignalStop {
 public:
  explicit SignalStop(PingRun& run) {
    if (!signals_.installed()) return;
    notifier_ = std::make_unique<QSocketNotifier>(signals_.readFd(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, &run, [this, &run] {
      signals_.drain();
      run.StopPingTest();
    });
  }
  ~SignalStop() { notifier_.reset(); }
  SignalStop(const SignalStop&) = delete;
  SignalStop& operator=(const SignalStop&) = delete;

 private:
  SignalPipe signals_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace sondrel::cli
