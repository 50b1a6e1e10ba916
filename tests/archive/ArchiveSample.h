#pragma once
// Runs made up for the archive tests: what a live run would hand the
// archive, with the edge cases of its fields, and the files to keep them in.

#include <sqlite3.h>

#include <QTemporaryDir>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "archive/RunArchive.h"
#include "core/ping/RunRecords.h"

namespace sondrel::archive_test {

// 2026-12-31 23:58:20 UTC: the runs cross midnight and the year.
inline constexpr std::int64_t kStartUtcUs = 1798761500LL * 1000000;
// The local clock of the samples runs one hour ahead of UTC.
inline constexpr std::int64_t kLocalOffsetS = 3600;

// The local date and time at a UTC moment, by std::chrono.
inline LocalDateTime LocalAt(std::int64_t utcUs) {
  using namespace std::chrono;
  const sys_seconds secs{seconds{utcUs / 1000000 + kLocalOffsetS}};
  const sys_days day = floor<days>(secs);
  const year_month_day ymd{day};
  const hh_mm_ss hms{secs - day};
  LocalDateTime t;
  t.year = static_cast<int>(ymd.year());
  t.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  t.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  t.hour = static_cast<int>(hms.hours().count());
  t.minute = static_cast<int>(hms.minutes().count());
  t.second = static_cast<int>(hms.seconds().count());
  t.millisecond = static_cast<int>(utcUs / 1000 % 1000);
  return t;
}

struct SampleRun {
  ArchiveRunStart start;
  std::vector<ArchiveResult> results;  // in the order a run hands them over
};

// `passes` passes over `targets` targets, one a second, with replies of every
// kind: under 1 ms, long, none, an odd TTL or size, a ms time that is not the
// round trip's, and now and then a record without a date.
inline SampleRun MakeRun(int targets, int passes, unsigned seed = 1, std::int64_t startUtcUs = kStartUtcUs,
                         bool oddities = true) {
  SampleRun run;
  run.start.origin = RunOrigin::Window;
  run.start.startUtcUs = startUtcUs;
  run.start.startLocal = LocalAt(startUtcUs);
  run.start.parameters.timeoutMs = 900;
  run.start.parameters.intervalMs = 1000;
  run.start.stepLength = 1;
  for (int t = 0; t < targets; ++t) {
    run.start.addresses.push_back(t == 1 ? "2001:db8:85a3:0:0:8a2e:370:7334%enp0s31f6-long-zone-name"
                                         : "10.0." + std::to_string(t / 250) + "." + std::to_string(t % 250 + 1));
    run.start.labels.push_back(t % 3 == 2 ? "" : "host-" + std::to_string(t));
  }
  std::mt19937 rng(seed);
  auto chance = [&](int percent) { return static_cast<int>(rng() % 100) < percent; };
  for (int p = 0; p < passes; ++p) {
    for (int t = 0; t < targets; ++t) {
      ArchiveResult a;
      a.pass = static_cast<std::uint32_t>(p);
      a.sentUtcUs = startUtcUs + std::int64_t{p} * 1000000 + std::int64_t{t} * 173 + static_cast<int>(rng() % 5000);
      ResultRecord& r = a.record;
      r.target = static_cast<std::uint32_t>(t);
      r.bufferSize = oddities && chance(2) ? 1472 : 32;
      if (oddities && chance(8)) {
        a.roundTripUs = -1;
        r.time = -1;
        r.ttl = 0;
        r.status = 11010;
      } else {
        a.roundTripUs = chance(30) ? static_cast<int>(rng() % 1000) : 1000 + static_cast<int>(rng() % 80000);
        r.time = static_cast<std::int32_t>(a.roundTripUs / 1000);
        if (oddities && chance(3)) r.time += 1;  // the carrier rounded up
        r.ttl = oddities && chance(5) ? 128 : 64;
        r.status = 0;
      }
      r.when = ResultTime::from(LocalAt(a.sentUtcUs + std::max<std::int64_t>(a.roundTripUs, 0)));
      if (oddities && chance(1)) r.when.day = ResultTime::kNoField;
      run.results.push_back(a);
    }
  }
  return run;
}

inline RunStatistics CountedStats(const std::vector<ArchiveResult>& results, const std::string& first) {
  RunStatistics s;
  s.firstTarget = first;
  for (const ArchiveResult& a : results) CountResult(s, a.record);
  return s;
}

// Every field of two records.
#define EXPECT_RECORD_EQ(a, b, at)                                                              \
  do {                                                                                          \
    EXPECT_EQ((a).when.year, (b).when.year) << at;                                              \
    EXPECT_EQ((a).when.month, (b).when.month) << at;                                            \
    EXPECT_EQ((a).when.day, (b).when.day) << at;                                                \
    EXPECT_EQ((a).when.hour, (b).when.hour) << at;                                              \
    EXPECT_EQ((a).when.minute, (b).when.minute) << at;                                          \
    EXPECT_EQ((a).when.second, (b).when.second) << at;                                          \
    EXPECT_EQ((a).target, (b).target) << at;                                                    \
    EXPECT_EQ((a).bufferSize, (b).bufferSize) << at;                                            \
    EXPECT_EQ((a).time, (b).time) << at;                                                        \
    EXPECT_EQ((a).status, (b).status) << at;                                                    \
    EXPECT_EQ((a).ttl, (b).ttl) << at;                                                          \
  } while (0)

inline bool SameRecord(const ResultRecord& a, const ResultRecord& b) {
  return a.when.year == b.when.year && a.when.month == b.when.month && a.when.day == b.when.day &&
         a.when.hour == b.when.hour && a.when.minute == b.when.minute && a.when.second == b.when.second &&
         a.target == b.target && a.bufferSize == b.bufferSize && a.time == b.time && a.status == b.status &&
         a.ttl == b.ttl;
}

// A second, plain connection to look inside a file.
struct RawDb {
  sqlite3* db = nullptr;
  explicit RawDb(const std::string& path, int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) {
    sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    sqlite3_busy_timeout(db, 5000);
  }
  ~RawDb() { sqlite3_close_v2(db); }
  std::int64_t scalar(const std::string& sql) const {
    sqlite3_stmt* s = nullptr;
    std::int64_t v = -1;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
      v = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    return v;
  }
  bool exec(const std::string& sql) const { return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK; }
};

}  // namespace sondrel::archive_test
