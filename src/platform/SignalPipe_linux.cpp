#include "platform/SignalPipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

namespace sondrel {
namespace {

// One pipe for the process: signal handlers can reach only globals.
int gSignalPipe[2] = {-1, -1};
// Atomic: two signals may be handled at once on different threads.
std::atomic<int> gSignalsTaken{0};
static_assert(std::atomic<int>::is_always_lock_free);

void onSignal(int sig) {
  if (gSignalsTaken.exchange(1) != 0) {
    ::signal(sig, SIG_DFL);
    ::raise(sig);  // delivered as the handler returns
    return;
  }
  const char c = 1;
  [[maybe_unused]] ssize_t n = ::write(gSignalPipe[1], &c, 1);
}

}  // namespace

struct SignalPipe::Previous {
  struct sigaction interrupt {};
  struct sigaction terminate {};
  struct sigaction brokenPipe {};
};

SignalPipe::SignalPipe() {
  if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  previous_ = std::make_unique<Previous>();
  gSignalsTaken.store(0);
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  // One handler at a time: a SIGTERM cannot cut into a SIGINT's.
  sigemptyset(&sa.sa_mask);
  sigaddset(&sa.sa_mask, SIGINT);
  sigaddset(&sa.sa_mask, SIGTERM);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGINT, &sa, &previous_->interrupt);
  sigaction(SIGTERM, &sa, &previous_->terminate);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &previous_->brokenPipe);
  installed_ = true;
}

SignalPipe::~SignalPipe() {
  if (!installed_) return;
  sigaction(SIGINT, &previous_->interrupt, nullptr);
  sigaction(SIGTERM, &previous_->terminate, nullptr);
  sigaction(SIGPIPE, &previous_->brokenPipe, nullptr);
  ::close(gSignalPipe[0]);
  ::close(gSignalPipe[1]);
  gSignalPipe[0] = gSignalPipe[1] = -1;
}

int SignalPipe::readFd() const { return installed_ ? gSignalPipe[0] : -1; }

void SignalPipe::drain() {
  char buf[16];
  while (::read(gSignalPipe[0], buf, sizeof buf) > 0) {
  }
}

}  // namespace sondrel
