#include <gtest/gtest.h>

#include <sstream>

#include "core/ping/RunRecords.h"

namespace sondrel {
namespace {

ResultRecord Record(LocalDateTime t, std::int32_t size, std::int32_t time, std::int16_t ttl,
                    std::int32_t status) {
  ResultRecord r;
  r.when = ResultTime::from(t);
  r.bufferSize = size;
  r.time = time;
  r.ttl = ttl;
  r.status = status;
  return r;
}

struct RowCase {
  ResultRecord record;
  const char* ip;
  const char* logLine;
  const char* first;
  const char* second;
  const char* longTime;
};

TEST(RunRecords, RecordTextsAndLogLines) {
  const RowCase cases[] = {
      {Record({2009, 3, 7, 14, 5, 9}, 32, 15, 128, 0), "192.168.1.1",
       "2009,03,07,14,05,09,192.168.1.1,32,15,128,0", "03/07 14:05:09   Reply from 192.168.1.1",
       "bytes=32  time=15ms  TTL=128  ok", "2009/03/07 14:05:09"},
      {Record({2009, 3, 7, 14, 5, 10}, 32, -1, 0, 11010), "192.168.1.9",
       "2009,03,07,14,05,10,192.168.1.9,32,-1,0,11010",
       "03/07 14:05:10   Reply from 192.168.1.9", "bytes=32  Request  timed  out.",
       "2009/03/07 14:05:10"},
      {Record({2026, 12, 31, 0, 0, 0}, 1024, 0, 64, 0), "127.0.0.1",
       "2026,12,31,00,00,00,127.0.0.1,1024,0,64,0", "12/31 00:00:00   Reply from 127.0.0.1",
       "bytes=1024  time<1ms  TTL=64  ok", "2026/12/31 00:00:00"},
      // Sizes above 16 bits stay as typed.
      {Record({2026, 1, 2, 3, 4, 5}, 40000, -1, 0, 11001), "10.0.0.1",
       "2026,01,02,03,04,05,10.0.0.1,40000,-1,0,11001", "01/02 03:04:05   Reply from 10.0.0.1",
       "bytes=40000  ip buf too_small", "2026/01/02 03:04:05"},
      {Record({2026, 1, 2, 3, 4, 5}, 32, -1, 0, -1), "300.1.1.1",
       "2026,01,02,03,04,05,300.1.1.1,32,-1,0,-1", "01/02 03:04:05   Reply from 300.1.1.1",
       "bytes=32  inet_addr: bad IP format", "2026/01/02 03:04:05"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.logLine);
    EXPECT_EQ(FormatLogLine(c.record, c.ip), c.logLine);
    const ResultRowTexts row = FormatResultRow(c.record, c.ip);
    EXPECT_EQ(row.first, c.first);
    EXPECT_EQ(row.second, c.second);
    EXPECT_EQ(FormatResultTimeLong(c.record), c.longTime);

    // A written line reads back as the same record.
    RunData run;
    ResultRecord back;
    EXPECT_TRUE(ParseLogLine(c.logLine, run, back));
    EXPECT_EQ(FormatLogLine(back, run.ip(back)), c.logLine);
    EXPECT_EQ(back.bufferSize, c.record.bufferSize);
  }
}

TEST(RunRecords, DamagedLogLinesNeverReadAsReplies) {
  struct Case {
    const char* line;
    const char* shortTime;
    const char* ip;
    std::int32_t size;
  };
  const Case cases[] = {
      // A time that is not a number was read as a reply under 1 ms.
      {"2026,03,07,14,05,09,10.0.0.1,32,abc,64,0", "03/07 14:05:09", "10.0.0.1", 32},
      {"2026,03,07", "03/07   :  :  ", "", 0},
      {"2026,xx,07,14,05,09,10.0.0.1,32,5,64,0", "  /07 14:05:09", "10.0.0.1", 32},
      // More than 32 bits does not wrap.
      {"2026,03,07,14,05,09,10.0.0.1,99999999999,5,64,0", "03/07 14:05:09", "10.0.0.1", 0},
      // Two lines glued after a failed write: neither a comma in the address
      // nor a year of eight digits makes a record.
      {"2026,03,07,14,02026,03,07,14,05,10,10.0.0.2,32,5,64,0", "03/07 14:02:03", "07", 14},
      {"20262026,03,07,14,05,10,10.0.0.2,32,5,64,0", "03/07 14:05:10", "10.0.0.2", 32},
      {"2026,03,07,14,05,09,10.0.0.1,32,-7,64,0", "03/07 14:05:09", "10.0.0.1", 32},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    RunData run;
    ResultRecord r;
    EXPECT_FALSE(ParseLogLine(c.line, run, r));
    EXPECT_EQ(FormatResultTimeShort(r), c.shortTime);
    EXPECT_EQ(run.ip(r), c.ip);
    EXPECT_EQ(r.bufferSize, c.size);
    EXPECT_EQ(r.time, -1);
    EXPECT_EQ(r.ttl, 0);
    EXPECT_EQ(FormatResultRow(run, r).second.find("ok"), std::string::npos);
  }
}

TEST(RunRecords, LossRateRoundsHalvesToEven) {
  struct Case {
    std::int64_t sent, lost;
    const char* text;
  };
  const Case cases[] = {
      {3, 1, "33.33 %"},   {8, 1, "12.50 %"},  {20000, 1, "0.00 %"}, {20000, 3, "0.02 %"},
      {4, 4, "100.00 %"},  {0, 0, "0.00 %"},   {7, 0, "0.00 %"},     {3, 2, "66.67 %"},
      {4'000'000'000'000'000'000LL, 1'000'000'000'000'000'000LL, "25.00 %"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatLossRate(c.sent, c.lost), c.text) << c.sent;
}

TEST(RunRecords, StatisticsCountRepliesAndLosses) {
  RunStatistics s;
  for (auto [time, ttl] : {std::pair{10, 64}, {-1, 0}, {0, 64}, {5, 63}}) {
    ResultRecord r;
    r.time = time;
    r.ttl = static_cast<std::int16_t>(ttl);
    CountResult(s, r);
  }
  EXPECT_EQ(s.sent, 4);
  EXPECT_EQ(s.lost, 1);
  EXPECT_EQ(s.received(), 3);
  EXPECT_EQ(s.minTime, 0);
  EXPECT_EQ(s.maxTime, 10);
  EXPECT_EQ(s.avgTime, 5);  // floor(15 / 3 + 0.5)
  EXPECT_EQ(s.avgTtl, 64);  // floor(191 / 3 + 0.5) = floor(64.17)
  const std::vector<std::string> lines = FormatStatisticsLines(s);
  const std::vector<std::string> expected = {
      "Sent:       4",     "Received:   3",     "Lost:       1",     "Loss Rate:  25.00 %",
      "Min Time:   1 ms",  "Max Time:   10 ms", "Avg Time:   5 ms",  "Avg TTL:    64"};
  EXPECT_EQ(lines, expected);

  RunStatistics none;
  ResultRecord lost;
  CountResult(none, lost);
  const StatisticsTexts t = FormatStatistics(none);
  EXPECT_EQ(t.minTime, "0 ms");
  EXPECT_EQ(t.maxTime, "0 ms");
  EXPECT_EQ(t.avgTime, "0 ms");
  EXPECT_EQ(t.lossRate, "100.00 %");
}

TEST(RunRecords, SumsDoNotOverflowInLongRuns) {
  RunStatistics s;
  ResultRecord r;
  r.time = 2'000'000'000;
  r.ttl = 255;
  for (int i = 0; i < 10; ++i) CountResult(s, r);
  EXPECT_EQ(s.timeSum, 20'000'000'000LL);
  EXPECT_EQ(s.avgTime, 2'000'000'000);
}

std::string Log(std::initializer_list<const char*> lines) {
  std::string out;
  for (const char* l : lines) out += std::string(l) + "\r\n";
  return out;
}

TEST(RunRecords, ReloadStopsAtBlankLineAndSkipsTornLastLine) {
  struct Case {
    const char* name;
    std::string log;
    bool loaded;
    size_t records;
  };
  const std::string a = "2026,03,07,14,05,09,10.0.0.1,32,7,64,0";
  const std::string b = "2026,03,07,14,05,09,10.0.0.2,32,-1,0,11010";
  const Case cases[] = {
      {"empty", "", false, 0},
      {"header only", Log({"2,1"}), false, 0},
      {"two results", Log({"2,1", a.c_str(), b.c_str()}), true, 2},
      {"torn last line", Log({"2,1", a.c_str()}) + b.substr(0, 20), true, 1},
      {"torn header", "2,", false, 0},
      {"blank middle line", Log({"2,1", a.c_str(), "", b.c_str()}), true, 1},
      {"blank line of blanks", Log({"2,1", a.c_str(), "   ", b.c_str()}), true, 1},
      {"LF line ends", "2,1\n" + a + "\n" + b + "\n", true, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RunData run;
    EXPECT_EQ(LoadRunLog(c.log, nullptr, run), c.loaded);
    EXPECT_EQ(run.records.size(), c.records);
    if (c.loaded) {
      EXPECT_EQ(run.targetCount, 2);
    }
  }
}

TEST(RunRecords, ReloadRecomputesStatisticsAndLabels) {
  const std::string log = Log({"3,6", "2026,03,07,14,05,09,10.0.0.1,32,0,64,0",
                               "2026,03,07,14,05,09,10.0.0.2,32,-1,0,11010",
                               "2026,03,07,14,05,09,10.0.0.3,32,0,60,0",
                               "2026,03,07,14,05,10,10.0.0.1,64,0,64,0"});
  const std::string labels = "10.0.0.1\r\nhost / 10.0.0.2\r\n";  // one line missing
  const std::string_view view = labels;
  RunData run;
  ASSERT_TRUE(LoadRunLog(log, &view, run));
  EXPECT_EQ(run.targetCount, 3);
  EXPECT_EQ(run.stepLength, 6);
  EXPECT_EQ(run.targetLabels, (std::vector<std::string>{"10.0.0.1", "host / 10.0.0.2", ""}));
  EXPECT_EQ(run.stats.sent, 4);
  EXPECT_EQ(run.stats.lost, 1);
  // Replies under 1 ms count as 1 ms in the figures.
  EXPECT_EQ(run.stats.minTime, 1);
  EXPECT_EQ(run.stats.maxTime, 1);
  EXPECT_EQ(run.stats.avgTime, 1);
  EXPECT_EQ(run.stats.avgTtl, 63);
  EXPECT_EQ(run.addresses.size(), 3u);
  EXPECT_EQ(run.ip(run.records[3]), "10.0.0.1");

  RunData lost;
  ASSERT_TRUE(LoadRunLog(Log({"1,1", "2026,03,07,14,05,09,10.0.0.1,32,-1,0,11010"}), nullptr,
                         lost));
  EXPECT_EQ(lost.stats.received(), 0);
  EXPECT_EQ(lost.stats.avgTime, 0);
  EXPECT_EQ(lost.stats.avgTtl, 0);
  EXPECT_EQ(lost.stats.minTime, kNoMinimum);
  EXPECT_TRUE(lost.targetLabels.empty());
}

TEST(RunRecords, ReadLineTrimmed) {
  std::istringstream in("  a b  \r\n\tx\nlast");
  EXPECT_EQ(ReadLineTrimmed(in), "a b");
  EXPECT_EQ(ReadLineTrimmed(in), "\tx");
  EXPECT_EQ(ReadLineTrimmed(in), "last");
  EXPECT_EQ(ReadLineTrimmed(in), "");
}

TEST(RunRecords, SizeCycles) {
  struct Case {
    const char* name;
    PingParameters params;
    std::int32_t targets;
    std::vector<std::int32_t> firstSizes;  // one per ping, all targets in order
  };
  PingParameters step;
  step.mode = BufferMode::Incremental;
  step.startSize = 32;
  step.step = 32;
  step.numberOfSizes = 1000;
  step.pingsPerSize = 1;
  PingParameters multi;
  multi.mode = BufferMode::Multiple;
  multi.sizes = {16, 32, 64, 1024};
  for (int n : multi.sizes) multi.sizeData.push_back(std::string(static_cast<size_t>(n), ' '));
  multi.numberOfSizes = 4;
  multi.pingsPerSize = 4;
  PingParameters single;
  single.size = 200;
  single.sendData = std::string(200, ' ');
  const Case cases[] = {
      {"step up, two targets", step, 2, {32, 32, 64, 64, 96, 96}},
      {"multiple, one target",
       multi,
       1,
       {16, 16, 16, 16, 32, 32, 32, 32, 64, 64, 64, 64, 1024, 1024, 1024, 1024, 16}},
      {"multiple, two targets", multi, 2, {16, 16, 16, 16, 16, 16, 16, 16, 32}},
      {"single", single, 2, {200, 200, 200}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SizeCycle cycle;
    const std::int32_t stepLength = StepLengthFor(c.params, c.targets);
    for (std::int32_t expected : c.firstSizes) {
      const SendChoice s = NextSend(c.params, cycle, stepLength);
      EXPECT_EQ(s.size, expected);
      EXPECT_EQ(s.data.size(), static_cast<size_t>(expected));
    }
  }

  // The 1,000th pass of the step-up cycle sends 32,000 bytes; the next starts at 32.
  SizeCycle cycle;
  std::vector<std::int32_t> last;
  for (int pass = 1; pass <= 1001; ++pass)
    for (int t = 0; t < 2; ++t) last.push_back(NextSend(step, cycle, 2).size);
  EXPECT_EQ(last[1998], 32000);
  EXPECT_EQ(last[1999], 32000);
  EXPECT_EQ(last[2000], 32);
}

TEST(RunRecords, TitleAndLastReplyLine) {
  EXPECT_EQ(FormatRunTitle(32, 3), "Ping testing with 32 bytes of data:            3  IP ");
  const ResultRecord ok = Record({2026, 3, 7, 14, 5, 9}, 32, 0, 64, 0);
  const std::string line = FormatLastReplyLine(ok, "127.0.0.1", "");
  EXPECT_EQ(line.size(), kLastReplyLineWidth);
  EXPECT_EQ(line.substr(0, line.find_last_not_of(' ') + 1),
            "03/07 14:05:09   Reply from 127.0.0.1:  bytes=32  time<1ms  TTL=64");
  const ResultRecord lost = Record({2026, 3, 7, 14, 5, 9}, 64, -1, 0, 11010);
  const std::string l2 = FormatLastReplyLine(lost, "10.0.0.9", "Request  timed  out.");
  EXPECT_EQ(l2.substr(0, l2.find_last_not_of(' ') + 1),
            "03/07 14:05:09   Reply from 10.0.0.9:  bytes=64  Request  timed  out.");
  EXPECT_TRUE(PingsDone(RunStatistics{.sent = 15}, 5, 3));
  EXPECT_FALSE(PingsDone(RunStatistics{.sent = 14}, 5, 3));
  EXPECT_FALSE(PingsDone(RunStatistics{.sent = 99}, 0, 3));
}

}  // namespace
}  // namespace sondrel
