// The reload of a run log read in bounded pieces: lines across the pieces,
// damaged lines counted, a damaged header's target count bounded.
#include <gtest/gtest.h>

#include <atomic>
#include <sstream>

#include "core/ping/RunRecords.h"

namespace sondrel {
namespace {

std::string Line(int i) {
  // Addresses of different lengths, so line ends fall everywhere in a piece.
  return "2026,03,07,14,05," + std::string(i % 60 < 10 ? "0" : "") + std::to_string(i % 60) +
         ",10." + std::to_string(i % 7) + "." + std::to_string(i % 250) + "." +
         std::to_string(i % 3 * 100 + 1) + ",32," + std::to_string(i % 50) + ",64,0\r\n";
}

TEST(RunLogReload, LinesAcrossPiecesReadBackWhole) {
  std::string log = "7,1\r\n";
  const int lines = 20000;  // about 900 KB: many pieces
  for (int i = 0; i < lines; ++i) log += Line(i);
  std::istringstream in(log);
  RunData run;
  std::vector<std::int64_t> progress;
  LoadOptions options;
  options.progress = [&](std::int64_t left) { progress.push_back(left); };
  ASSERT_TRUE(LoadRunLog(in, nullptr, run, options));
  ASSERT_EQ(run.records.size(), static_cast<size_t>(lines));
  EXPECT_EQ(run.damagedLines, 0);
  for (int i : {0, 1, 1489, 1490, 12345, lines - 1}) {
    SCOPED_TRACE(i);
    const ResultRecord& r = run.records[static_cast<size_t>(i)];
    std::string written = FormatLogLine(r, run.ip(r)) + "\r\n";
    EXPECT_EQ(written, Line(i));
  }
  EXPECT_EQ(run.targetCount, 7);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), 0);
}

TEST(RunLogReload, DamagedLinesKeepTheirPlacesAndAreCounted) {
  const std::string good = "2026,03,07,14,05,09,10.0.0.1,32,7,64,0\r\n";
  const std::string other = "2026,03,07,14,05,09,10.0.0.2,32,9,64,0\r\n";
  const std::string log = "2,1\r\n" + good + other + "garbage\r\n" + other +
                          std::string(10000, 'x') + "\r\n" + other + good + "2026,03,07,1";
  RunData run;
  ASSERT_TRUE(LoadRunLog(log, nullptr, run));
  // One record per whole line, so the second target stays at odd places.
  ASSERT_EQ(run.records.size(), 7u);
  EXPECT_EQ(run.damagedLines, 2);
  for (size_t i : {1u, 3u, 5u}) EXPECT_EQ(run.ip(run.records[i]), "10.0.0.2") << i;
  EXPECT_EQ(run.records[2].time, -1);
  EXPECT_EQ(run.records[4].time, -1);
  // Not known to be losses: they count in no figure.
  EXPECT_EQ(run.stats.sent, 5);
  EXPECT_EQ(run.stats.lost, 0);
  EXPECT_EQ(run.stats.received(), 5);
}

TEST(RunLogReload, ADamagedHeaderAsksForNoMoreThanTheTargetLimit) {
  const std::string log = "99999999,1\r\n2026,03,07,14,05,09,10.0.0.1,32,7,64,0\r\n";
  const std::string_view labels = "10.0.0.1\r\n";
  RunData run;
  ASSERT_TRUE(LoadRunLog(log, &labels, run));
  EXPECT_EQ(run.targetCount, 65536);
  EXPECT_EQ(run.targetLabels.size(), 65536u);
  EXPECT_EQ(run.targetLabels[0], "10.0.0.1");
}

TEST(RunLogReload, ACancelledReloadLeavesTheRunAsItWas) {
  std::string log = "1,1\r\n";
  for (int i = 0; i < 200000; ++i) log += Line(i);
  RunData run;
  run.targetCount = 3;
  std::atomic<bool> cancel{true};
  LoadOptions options;
  options.cancel = &cancel;
  EXPECT_FALSE(LoadRunLog(log, nullptr, run, options));
  EXPECT_EQ(run.targetCount, 3);
  EXPECT_TRUE(run.records.empty());
}

}  // namespace
}  // namespace sondrel
