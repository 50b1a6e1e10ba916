#include "platform/Clock_linux.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <chrono>

namespace sondrel {

LocalDateTime SystemClock::now() const {
  const QDateTime t = QDateTime::currentDateTime();
  const QDate d = t.date();
  const QTime h = t.time();
  return {d.year(), d.month(), d.day(), h.hour(), h.minute(), h.second(), h.msec()};
}

std::int64_t SystemClock::monotonicMs() const {
  static QElapsedTimer timer = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  return timer.elapsed();
}

std::int64_t SystemClock::utcMicros() const {
  using namespace std::chrono;
  return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace sondrel
