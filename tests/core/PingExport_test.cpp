#include "core/results/PingExport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace sondrel {
namespace {

struct Reply {
  const char* ip;
  int second;
  std::int32_t time;  // -1: lost
  std::int16_t ttl;
  std::int32_t status;
};

// A run of `labels.size()` targets whose records come in the order given,
// all on 2026-03-07 at 14:05:ss with 32-byte buffers.
RunData MakeRun(std::vector<std::string> labels, const std::vector<Reply>& replies) {
  RunData run;
  run.targetCount = static_cast<std::int32_t>(labels.size());
  run.targetLabels = std::move(labels);
  for (const Reply& r : replies) {
    ResultRecord rec;
    rec.when = ResultTime::from({2026, 3, 7, 14, 5, r.second, 0});
    rec.target = run.internAddress(r.ip);
    rec.bufferSize = 32;
    rec.time = r.time;
    rec.ttl = r.ttl;
    rec.status = r.status;
    run.records.push_back(rec);
    CountResult(run.stats, rec);
  }
  return run;
}

std::string Text(const RunData& run) {
  std::ostringstream out;
  ExportPingText(out, run);
  return out.str();
}

std::string Csv(const RunData& run) {
  std::ostringstream out;
  ExportPingCsv(out, run);
  return out.str();
}

RunData TwoTargetsThreeRounds() {
  return MakeRun({"127.0.0.1", "127.0.0.2"}, {
                                                 {"127.0.0.1", 1, 15, 64, 0},
                                                 {"127.0.0.2", 1, -1, 0, 11010},
                                                 {"127.0.0.1", 2, 17, 64, 0},
                                                 {"127.0.0.2", 2, 3, 128, 0},
                                                 {"127.0.0.1", 3, 16, 64, 0},
                                                 {"127.0.0.2", 3, -1, 0, 11010},
                                             });
}

TEST(PingExportTest, TextListsEachTargetsRecordsUnderItWithTheSummaryFirst) {
  const std::string expected =
      "Ping test at :  2026/03/07 14:05:01  -  2026/03/07 14:05:03\r\n"
      " \r\n \r\n \r\n"
      "Reault:\r\n"
      " \r\n"
      "Sent:       6\r\n"
      "Received:   4\r\n"
      "Lost:       2\r\n"
      "Loss Rate:  33.33 %\r\n"
      "Min Time:   3 ms\r\n"
      "Max Time:   17 ms\r\n"
      "Avg Time:   13 ms\r\n"
      "Avg TTL:    80\r\n"
      " \r\n \r\n"
      "Detail:\r\n"
      " \r\n"
      "  \r\n  \r\n"
      "Ping  127.0.0.1:\r\n"
      "  \r\n"
      "1. 03/07 14:05:01   Reply from 127.0.0.1  bytes=32  time=15ms  TTL=64  ok\r\n"
      "2. 03/07 14:05:02   Reply from 127.0.0.1  bytes=32  time=17ms  TTL=64  ok\r\n"
      "3. 03/07 14:05:03   Reply from 127.0.0.1  bytes=32  time=16ms  TTL=64  ok\r\n"
      "  \r\n"
      "  \r\n  \r\n"
      "Ping  127.0.0.2:\r\n"
      "  \r\n"
      "1. 03/07 14:05:01   Reply from 127.0.0.2  bytes=32  Request  timed  out.\r\n"
      "2. 03/07 14:05:02   Reply from 127.0.0.2  bytes=32  time=3ms  TTL=128  ok\r\n"
      "3. 03/07 14:05:03   Reply from 127.0.0.2  bytes=32  Request  timed  out.\r\n"
      "  \r\n"
      " \r\n";
  EXPECT_EQ(Text(TwoTargetsThreeRounds()), expected);
}

TEST(PingExportTest, CsvHasOneLinePerResultWithAnEmptyTimeForALostReply) {
  const std::string expected =
      "Ping test at,2026/03/07 14:05:01  -  2026/03/07 14:05:03\r\n"
      " \r\n \r\n \r\n"
      "Reault:\r\n"
      " \r\n"
      "Sent,6\r\n"
      "Received,4\r\n"
      "Lost,2\r\n"
      "Loss Rate,33.33 %\r\n"
      "Min Time,3 ms\r\n"
      "Max Time,17 ms\r\n"
      "Avg Time,13 ms\r\n"
      "Avg TTL,80\r\n"
      " \r\n \r\n"
      "Detail:\r\n"
      " \r\n"
      "No.,Year,Month,Day,Hour,Minute,Second,IP,Send Buffer Size(Byte),Time(ms),TTL,Status\r\n"
      "1.,2026,03,07,14,05,01,127.0.0.1,32,15,64,ip success\r\n"
      "2.,2026,03,07,14,05,02,127.0.0.1,32,17,64,ip success\r\n"
      "3.,2026,03,07,14,05,03,127.0.0.1,32,16,64,ip success\r\n"
      "  \r\n"
      "1.,2026,03,07,14,05,01,127.0.0.2,32,,0,Request  timed  out.\r\n"
      "2.,2026,03,07,14,05,02,127.0.0.2,32,3,128,ip success\r\n"
      "3.,2026,03,07,14,05,03,127.0.0.2,32,,0,Request  timed  out.\r\n"
      "  \r\n"
      " \r\n";
  EXPECT_EQ(Csv(TwoTargetsThreeRounds()), expected);
}

TEST(PingExportTest, SummaryFiguresForAllLostAndForAReplyUnderOneMs) {
  const RunData lost = MakeRun({"127.0.0.9"}, {{"127.0.0.9", 1, -1, 0, 11010},
                                               {"127.0.0.9", 2, -1, 0, 11010}});
  const std::string text = Text(lost);
  EXPECT_NE(text.find("Sent:       2\r\nReceived:   0\r\nLost:       2\r\n"
                      "Loss Rate:  100.00 %\r\nMin Time:   0 ms\r\nMax Time:   0 ms\r\n"
                      "Avg Time:   0 ms\r\nAvg TTL:    0\r\n"),
            std::string::npos)
      << text;
  const std::string csv = Csv(lost);
  EXPECT_NE(csv.find("Loss Rate,100.00 %\r\nMin Time,0 ms\r\nMax Time,0 ms\r\nAvg Time,0 ms\r\n"
                     "Avg TTL,0\r\n"),
            std::string::npos)
      << csv;
  EXPECT_NE(csv.find("2.,2026,03,07,14,05,02,127.0.0.9,32,,0,Request  timed  out.\r\n"),
            std::string::npos);

  const RunData fast = MakeRun({"127.0.0.1"}, {{"127.0.0.1", 1, 0, 64, 0}});
  const std::string fastText = Text(fast);
  EXPECT_NE(fastText.find("Min Time:   1 ms\r\nMax Time:   1 ms\r\nAvg Time:   1 ms\r\n"),
            std::string::npos)
      << fastText;
  EXPECT_NE(fastText.find("1. 03/07 14:05:01   Reply from 127.0.0.1  bytes=32  time<1ms  TTL=64  ok\r\n"),
            std::string::npos)
      << fastText;
  EXPECT_NE(Csv(fast).find("1.,2026,03,07,14,05,01,127.0.0.1,32,0,64,ip success\r\n"),
            std::string::npos);
}

TEST(PingExportTest, HostNameLabelHeadsTheTextBlockAndFillsTheCsvColumn) {
  const RunData run = MakeRun({"localhost / 127.0.0.1"}, {{"127.0.0.1", 4, 2, 64, 0}});
  const std::string text = Text(run);
  EXPECT_NE(text.find("Ping  localhost / 127.0.0.1:\r\n  \r\n"
                      "1. 03/07 14:05:04   Reply from 127.0.0.1  bytes=32  time=2ms  TTL=64  ok\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(Csv(run).find("1.,2026,03,07,14,05,04,localhost / 127.0.0.1,32,2,64,ip success\r\n"),
            std::string::npos);
}

TEST(PingExportTest, RunStoppedInARoundGivesTargetsDifferentCounts) {
  // Three targets; stopped after the second target of round two.
  const RunData run = MakeRun({"127.0.0.1", "127.0.0.2", "127.0.0.3"},
                              {{"127.0.0.1", 1, 1, 64, 0},
                               {"127.0.0.2", 1, 2, 64, 0},
                               {"127.0.0.3", 1, 3, 64, 0},
                               {"127.0.0.1", 2, 4, 64, 0},
                               {"127.0.0.2", 2, 5, 64, 0}});
  const std::string csv = Csv(run);
  const std::string detail = csv.substr(csv.find("Status\r\n") + 8);
  EXPECT_EQ(detail,
            "1.,2026,03,07,14,05,01,127.0.0.1,32,1,64,ip success\r\n"
            "2.,2026,03,07,14,05,02,127.0.0.1,32,4,64,ip success\r\n"
            "  \r\n"
            "1.,2026,03,07,14,05,01,127.0.0.2,32,2,64,ip success\r\n"
            "2.,2026,03,07,14,05,02,127.0.0.2,32,5,64,ip success\r\n"
            "  \r\n"
            "1.,2026,03,07,14,05,01,127.0.0.3,32,3,64,ip success\r\n"
            "  \r\n"
            " \r\n");
  const std::string text = Text(run);
  EXPECT_NE(text.find("Ping  127.0.0.3:\r\n  \r\n"
                      "1. 03/07 14:05:01   Reply from 127.0.0.3  bytes=32  time=3ms  TTL=64  ok\r\n"
                      "  \r\n \r\n"),
            std::string::npos)
      << text;
}

TEST(PingExportTest, NothingIsWrittenForARunWithoutRecords) {
  RunData empty;
  empty.targetCount = 2;
  EXPECT_EQ(Text(empty), "");
  EXPECT_EQ(Csv(empty), "");
}

}  // namespace
}  // namespace sondrel
