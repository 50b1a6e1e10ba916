#pragma once
// SIGINT and SIGTERM turned into a readable descriptor, so an event loop can
// stop its work in order; another one while that stops ends the program at
// once, by that signal. SIGPIPE is ignored meanwhile: a reader that goes
// away makes a write fail instead of killing the program mid-line.

#include <memory>

namespace sondrel {

class SignalPipe {
 public:
  // Installs the handlers; installed() tells whether that worked.
  SignalPipe();
  // Puts the previous handlers back.
  ~SignalPipe();
  SignalPipe(const SignalPipe&) = delete;
  SignalPipe& operator=(const SignalPipe&) = delete;

  bool installed() const { return installed_; }
  // Readable once a signal came; -1 when not installed.
  int readFd() const;
  // Empties the pipe after a wake-up.
  void drain();

 private:
  bool installed_ = false;
  struct Previous;
  std::unique_ptr<Previous> previous_;
};

}  // namespace sondrel
