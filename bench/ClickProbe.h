#pragma once
// How long a click waits for the window thread while the window is busy.
// A helper thread posts a ClickRequest every few ms; the ClickProbe, living
// on the window thread, clicks its button when it gets to the request, and
// the delay from request to `clicked` is recorded, with the window thread's
// processor time at each answer (to tell a wait for our code from a wait
// for a processor).
#include <time.h>

#include <QCoreApplication>
#include <QEvent>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <vector>

namespace sondrel::bench {

using ProbeClock = std::chrono::steady_clock;

// The calling thread's own processor time, in ms.
inline double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

// A request for a click, stamped when the helper thread posted it.
class ClickRequest final : public QEvent {
 public:
  static QEvent::Type type() {
    static const auto kType = static_cast<QEvent::Type>(QEvent::registerEventType());
    return kType;
  }
  explicit ClickRequest(ProbeClock::time_point at) : QEvent(type()), postedAt(at) {}
  ProbeClock::time_point postedAt;
};

class ClickProbe final : public QObject {
 public:
  explicit ClickProbe(QPushButton* button) : button_(button) {
    connect(button_, &QPushButton::clicked, this, [this] {
      const double ms = std::chrono::duration<double, std::milli>(ProbeClock::now() - pendingSince_).count();
      delaysMs.push_back(ms);
      answeredAt.push_back(ProbeClock::now());
      cpuAtAnswerMs.push_back(ThreadCpuMs());
    });
  }
  std::vector<double> delaysMs;
  std::vector<ProbeClock::time_point> answeredAt;
  std::vector<double> cpuAtAnswerMs;

 protected:
  bool event(QEvent* e) override {
    if (e->type() != ClickRequest::type()) return QObject::event(e);
    pendingSince_ = static_cast<ClickRequest*>(e)->postedAt;
    QTest::mouseClick(button_, Qt::LeftButton);
    return true;
  }

 private:
  QPushButton* button_;
  ProbeClock::time_point pendingSince_;
};

// The value at quantile p of `v` by nearest rank; 0 when empty.
inline double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const auto k = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(k, v.size() - 1)];
}

}  // namespace sondrel::bench
