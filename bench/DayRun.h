#pragma once
// A day's run for the monitor: 100 loopback targets, one echo each a second
// for 24 hours (8,640,000 results), written into a real archive file through
// the archive's own writer (ArchiveWriter, which commits with appendResults,
// where the outages are found as they are for every run). The monitor's
// benchmarks chart it; bench/make_day_run.cpp writes it where the window
// reads its archive, for zooming from the whole day to single echoes by hand.
//
// Every echo follows from (target, second) alone, so a figure can be checked
// against it: round trips of tens of microseconds (one target in ten a
// slower one of about 1 to 2.5 ms) drifting slowly over the day, noise,
// a spike of up to a few ms now and then, a busy twenty minutes for all;
// one echo in 1,500 lost on its own; and the outages: one of ten minutes for
// every target at once, and three shorter ones of each (3 to 7, 10 to 59 and
// 60 to 179 echoes lost in a row).

#include <time.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "archive/ArchiveWriter.h"
#include "archive/RunArchive.h"
#include "core/monitor/Outages.h"
#include "core/ports/FileService.h"

namespace sondrel::bench {

struct DayRunShape {
  int targets = 100;
  int seconds = 86'400;
  std::int64_t firstSentUtcUs = 0;  // the first pass's send time
  int outageAfter = OutageTracker::kDefaultThreshold;
  std::uint32_t timeoutMs = 500;
};

// The ten minutes every target is down, from this second of the day.
inline constexpr int kSharedOutageSecond = 3 * 3600 + 17 * 60;
inline constexpr int kSharedOutageLength = 600;
// Twenty minutes of every round trip four times its usual.
inline constexpr int kBusySecond = 14 * 3600;
inline constexpr int kBusyLength = 1200;

inline std::uint64_t DayHash(std::uint64_t x) {  // splitmix64's finaliser
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}
inline std::uint64_t DayHash(int target, int second, int what) {
  return DayHash((static_cast<std::uint64_t>(target) << 40) ^ (static_cast<std::uint64_t>(what) << 32) ^
                 static_cast<std::uint32_t>(second));
}
// A fraction in [0, 1).
inline double DayUnit(std::uint64_t h) { return static_cast<double>(h >> 11) * (1.0 / 9007199254740992.0); }

// Target `target`'s own outage k (0 to 2): its first second and its length.
inline std::pair<int, int> DayOutageOf(const DayRunShape& shape, int target, int k) {
  static constexpr int kLeast[] = {3, 10, 60}, kMore[] = {5, 50, 120};
  const int length = kLeast[k] + static_cast<int>(DayHash(target, k, 7) % kMore[k]);
  // Each in its own third of the day, clear of the shared outage's edges.
  const int third = shape.seconds / 3;
  int at = k * third + 60 + static_cast<int>(DayHash(target, k, 8) % static_cast<std::uint64_t>(third - length - 120));
  if (at + length + 5 >= kSharedOutageSecond && at <= kSharedOutageSecond + kSharedOutageLength + 5)
    at = kSharedOutageSecond + kSharedOutageLength + 60;
  return {at, length};
}

// The round trip of target `target`'s echo at `second` of the day, in µs;
// -1 when it was lost.
inline std::int64_t DayRoundTripUs(const DayRunShape& shape, int target, int second) {
  if (second >= kSharedOutageSecond && second < kSharedOutageSecond + kSharedOutageLength) return -1;
  for (int k = 0; k < 3; ++k) {
    const auto [at, length] = DayOutageOf(shape, target, k);
    if (second >= at && second < at + length) return -1;
  }
  if (DayHash(target, second, 1) % 1500 == 0) return -1;
  const bool slow = target % 10 == 9;
  const double base = slow ? 800.0 + static_cast<double>(DayHash(target, 0, 2) % 1700)
                           : 25.0 + static_cast<double>(DayHash(target, 0, 2) % 60);
  const double day = 2 * M_PI * second / 86'400.0;
  const double phase = DayUnit(DayHash(target, 0, 3)) * 2 * M_PI;
  // The day's slow swing, and a faster one of three hours.
  double us = base * (1.0 + 0.45 * std::sin(day + phase) + 0.2 * std::sin(8 * day + 2 * phase));
  us += -std::log(1.0 - DayUnit(DayHash(target, second, 4))) * 0.15 * base;  // noise
  if (second >= kBusySecond && second < kBusySecond + kBusyLength) us *= 4;
  if (DayHash(target, second, 5) % 400 == 0)  // a spike of 0.5 to 6 ms
    us += 500.0 * std::pow(12.0, DayUnit(DayHash(target, second, 6)));
  return std::max<std::int64_t>(8, std::llround(us));
}

inline std::int64_t DaySentUtcUs(const DayRunShape& shape, int second) {
  // The pass's echoes go out together; its tick comes a little late at times.
  return shape.firstSentUtcUs + std::int64_t{second} * 1'000'000 +
         static_cast<std::int64_t>(DayHash(0, second, 9) % 400);
}

// The local time of a moment, as the clock would have given it then.
inline LocalDateTime DayLocalTime(std::int64_t utcUs) {
  const time_t seconds = static_cast<time_t>(utcUs / 1'000'000);
  tm t{};
  localtime_r(&seconds, &t);
  return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
          static_cast<int>(utcUs / 1000 % 1000)};
}

// The run's result for `target` at `second`, as the run engine and the
// archive's recorder would have made it.
inline ArchiveResult DayResult(const DayRunShape& shape, int target, int second, const LocalDateTime& endedLocal) {
  ArchiveResult r;
  r.pass = static_cast<std::uint32_t>(second);
  r.sentUtcUs = DaySentUtcUs(shape, second);
  r.roundTripUs = DayRoundTripUs(shape, target, second);
  r.record.when = ResultTime::from(endedLocal);
  r.record.target = static_cast<std::uint32_t>(target);
  r.record.bufferSize = 32;
  if (r.roundTripUs < 0) {
    r.record.time = -1;
    r.record.status = 11010;  // timed out
    r.record.ttl = 0;
  } else {
    r.record.time = static_cast<std::int32_t>(r.roundTripUs / 1000);
    r.record.status = 0;
    r.record.ttl = 64;
  }
  return r;
}

inline std::string DayAddress(int target) { return "127.0.0." + std::to_string(target + 1); }

struct DayRunWritten {
  std::int64_t run = 0;  // 0: it failed, `failure` says why
  std::int64_t results = 0;
  std::string failure;
};

// Writes the day's run into the archive at `archivePath` (made when
// missing; another run is added to one that is there). `progress` is told
// each hour of the day written.
inline DayRunWritten WriteDayRun(FileService& files, const std::string& archivePath, const DayRunShape& shape,
                                 const std::function<void(int hour)>& progress = {}) {
  DayRunWritten out;
  std::string failure;
  ArchiveWriter writer(archivePath, files, [&](std::string message) { failure = std::move(message); },
                       ArchiveWriter::Options{std::chrono::milliseconds(100), std::chrono::minutes(5), {}});
  ArchiveRunStart start;
  start.origin = RunOrigin::Window;
  start.startUtcUs = shape.firstSentUtcUs - 99'000;  // the first tick comes 99 ms after the start
  start.startLocal = DayLocalTime(start.startUtcUs);
  start.parameters.intervalMs = 1000;
  start.parameters.timeoutMs = shape.timeoutMs;
  start.parameters.pingsPerTarget = shape.seconds;
  for (int t = 0; t < shape.targets; ++t) {
    start.addresses.push_back(DayAddress(t));
    char label[32];
    std::snprintf(label, sizeof label, "loopback-%03d", t + 1);
    start.labels.emplace_back(label);
  }
  start.targetCount = shape.targets;
  start.outageAfter = shape.outageAfter;
  writer.beginRun(start);
  // The local time of each second the echoes end in, worked out once.
  std::int64_t cachedSecond = -1;
  LocalDateTime cachedLocal;
  auto localOf = [&](std::int64_t utcUs) {
    const std::int64_t s = utcUs / 1'000'000;
    if (s != cachedSecond) {
      cachedSecond = s;
      cachedLocal = DayLocalTime(s * 1'000'000);
    }
    LocalDateTime t = cachedLocal;
    t.millisecond = static_cast<int>(utcUs / 1000 % 1000);
    return t;
  };
  std::int64_t lastEnded = 0;
  for (int second = 0; second < shape.seconds; ++second) {
    const std::int64_t sent = DaySentUtcUs(shape, second);
    for (int t = 0; t < shape.targets; ++t) {
      const std::int64_t rtt = DayRoundTripUs(shape, t, second);
      const std::int64_t ended = sent + (rtt < 0 ? std::int64_t{shape.timeoutMs} * 1000 : rtt);
      lastEnded = std::max(lastEnded, ended);
      writer.add(DayResult(shape, t, second, localOf(ended)));
    }
    writer.passEnded();
    // Held to half an hour of results queued at a time.
    if (second % 1800 == 1799 && !writer.waitIdle(std::chrono::minutes(2))) {
      out.failure = "the archive's writer did not keep up";
      return out;
    }
    if (progress && second % 3600 == 3599) progress(second / 3600 + 1);
  }
  writer.endRun(RunEnding::CountReached, lastEnded, DayLocalTime(lastEnded));
  if (!writer.waitIdle(std::chrono::minutes(5))) {
    out.failure = "the archive's writer did not finish";
    return out;
  }
  if (!failure.empty() || writer.dropped() > 0) {
    out.failure = failure.empty() ? "results were dropped" : failure;
    return out;
  }
  out.run = writer.runId();
  out.results = std::int64_t{shape.targets} * shape.seconds;
  return out;
}

// The shape of a day's run that ended `endUtcUs` (its last pass a second
// before), on whole seconds.
inline DayRunShape DayEndingAt(std::int64_t endUtcUs) {
  DayRunShape shape;
  shape.firstSentUtcUs = (endUtcUs / 1'000'000 - shape.seconds) * 1'000'000;
  return shape;
}

}  // namespace sondrel::bench
