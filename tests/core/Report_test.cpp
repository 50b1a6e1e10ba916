#include <gtest/gtest.h>

#include <sstream>

#include "core/report/Report.h"

namespace sondrel {
namespace {

ResultRecord At(LocalDateTime t, std::int32_t time = 10, std::int16_t ttl = 64,
                std::int32_t size = 32) {
  ResultRecord r;
  r.when = ResultTime::from(t);
  r.time = time;
  r.ttl = time == -1 ? 0 : ttl;
  r.bufferSize = size;
  r.status = time == -1 ? 11010 : 0;
  return r;
}

// A run of `targets` targets whose records are `records` in ping order.
RunData MakeRun(std::int32_t targets, std::vector<ResultRecord> records) {
  RunData run;
  run.targetCount = targets;
  for (std::int32_t k = 0; k < targets; ++k) {
    const std::string ip = "127.0.0." + std::to_string(k + 1);
    run.internAddress(ip);
    run.targetLabels.push_back(ip);
  }
  for (std::size_t i = 0; i < records.size(); ++i)
    records[i].target = static_cast<std::uint32_t>(i % static_cast<std::size_t>(targets));
  run.records = std::move(records);
  return run;
}

TEST(ReportBuilding, MinutesBetweenCountsCalendarMinutes) {
  struct Case {
    const char* what;
    LocalDateTime a, b;
    std::int32_t minutes;
  };
  const Case cases[] = {
      {"seconds ignored", {2026, 3, 7, 10, 0, 0}, {2026, 3, 7, 10, 0, 59}, 0},
      {"next minute", {2026, 3, 7, 10, 0, 59}, {2026, 3, 7, 10, 1, 0}, 1},
      {"midnight", {2026, 3, 7, 23, 59, 30}, {2026, 3, 8, 0, 1, 0}, 2},
      {"month end", {2026, 1, 31, 23, 59, 0}, {2026, 2, 1, 0, 0, 0}, 1},
      {"leap day", {2024, 2, 28, 23, 0, 0}, {2024, 3, 1, 0, 0, 0}, 1500},
      {"no leap day", {2026, 2, 28, 23, 0, 0}, {2026, 3, 1, 0, 0, 0}, 60},
      {"year end", {2025, 12, 31, 23, 59, 59}, {2026, 1, 1, 0, 0, 0}, 1},
      {"clock back", {2026, 3, 7, 10, 5, 0}, {2026, 3, 7, 10, 0, 0}, -5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(MinutesBetween(At(c.a), At(c.b)), c.minutes);
  }
}

TEST(ReportBuilding, ClosedPeriodFigures) {
  struct Case {
    const char* what;
    std::vector<std::int32_t> times;  // -1: lost
    const char* rate;
    std::int32_t avgTime;
    std::int32_t avgTtl;
  };
  const Case cases[] = {
      {"1 of 3 lost", {10, -1, 10}, "33.33 % ", 10, 64},
      {"2 of 3 lost", {-1, 7, -1}, "66.67 % ", 7, 64},
      {"1 of 8 lost", {1, 1, 1, 1, 1, 1, 1, -1}, "12.50 % ", 1, 64},
      {"1 of 32 lost, half to even",
       {5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5,
        5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, -1},
       "3.12 %  ", 5, 64},
      {"all lost", {-1, -1}, "100.00 %", -1, 0},
      {"10.5 ms rounds up", {10, 11}, "0.00 %  ", 11, 64},
      {"under 1 ms", {0, 0, 0}, "0.00 %  ", 0, 64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ReportPeriod p = OpenPeriod(At({2026, 3, 7, 14, 5, 9}));
    EXPECT_EQ(p.lossRate, "--------");
    for (std::int32_t t : c.times) AddToPeriod(p, At({2026, 3, 7, 14, 5, 9}, t));
    ClosePeriod(p, At({2026, 3, 7, 14, 9, 59}));
    EXPECT_EQ(p.from, "03/07 14:05:09");
    EXPECT_EQ(p.to, "03/07 14:09:59");
    EXPECT_EQ(p.sent, static_cast<std::int32_t>(c.times.size()));
    EXPECT_EQ(p.lossRate, c.rate);
    EXPECT_EQ(p.avgTime, c.avgTime);
    EXPECT_EQ(p.avgTtl, c.avgTtl);
  }
  // The TTL average is over the replies only; lost pings add 0.
  ReportPeriod p = OpenPeriod(At({2026, 3, 7, 14, 5, 9}));
  AddToPeriod(p, At({2026, 3, 7, 14, 5, 9}, 5, 64));
  AddToPeriod(p, At({2026, 3, 7, 14, 5, 9}, 5, 127));
  AddToPeriod(p, At({2026, 3, 7, 14, 5, 9}, -1));
  ClosePeriod(p, At({2026, 3, 7, 14, 5, 9}));
  EXPECT_EQ(p.avgTtl, 96);  // 191 / 2 = 95.5 rounds up
  EXPECT_EQ(p.lost, 1);

  // Sums past 32 bits (long periods of slow replies) still average right.
  ReportPeriod slow = OpenPeriod(At({2026, 3, 7, 14, 5, 9}));
  for (int i = 0; i < 3; ++i) AddToPeriod(slow, At({2026, 3, 7, 14, 5, 9}, 2'000'000'000));
  ClosePeriod(slow, At({2026, 3, 7, 14, 5, 9}));
  EXPECT_EQ(slow.avgTime, 2'000'000'000);
}

TEST(ReportBuilding, PeriodsFollowTheWalk) {
  auto times = [](const std::vector<ReportPeriod>& periods) {
    std::vector<std::string> out;
    for (const auto& p : periods)
      out.push_back(p.from + "-" + p.to + "/" + std::to_string(p.sent));
    return out;
  };
  const RunData minutes = MakeRun(1, {At({2026, 3, 7, 10, 0, 0}), At({2026, 3, 7, 10, 0, 59}),
                                  At({2026, 3, 7, 10, 1, 0}), At({2026, 3, 7, 10, 2, 0}),
                                  At({2026, 3, 7, 10, 3, 30}), At({2026, 3, 7, 11, 30, 0})});
  using V = std::vector<std::string>;
  // P = 1: one clock minute per period; the gap makes no empty period.
  EXPECT_EQ(times(BuildTargetPeriods(minutes, 0, 1)),
            (V{"03/07 10:00:00-03/07 10:00:59/2", "03/07 10:01:00-03/07 10:01:00/1",
               "03/07 10:02:00-03/07 10:02:00/1", "03/07 10:03:30-03/07 10:03:30/1",
               "03/07 11:30:00-03/07 11:30:00/1"}));
  // Fractions are thresholds on whole minutes.
  EXPECT_EQ(times(BuildTargetPeriods(minutes, 0, 0.5)), times(BuildTargetPeriods(minutes, 0, 1)));
  EXPECT_EQ(times(BuildTargetPeriods(minutes, 0, 1.5)),
            (V{"03/07 10:00:00-03/07 10:01:00/3", "03/07 10:02:00-03/07 10:03:30/2",
               "03/07 11:30:00-03/07 11:30:00/1"}));
  EXPECT_EQ(times(BuildTargetPeriods(minutes, 0, 2.5)),
            (V{"03/07 10:00:00-03/07 10:02:00/4", "03/07 10:03:30-03/07 10:03:30/1",
               "03/07 11:30:00-03/07 11:30:00/1"}));
  // A P that is not above 0 works as 1 instead of never closing a period.
  EXPECT_EQ(times(BuildTargetPeriods(minutes, 0, -3)), times(BuildTargetPeriods(minutes, 0, 1)));

  // A clock that went back stays in the current period.
  const RunData back = MakeRun(1, {At({2026, 3, 7, 10, 5, 0}), At({2026, 3, 7, 10, 0, 0}),
                               At({2026, 3, 7, 10, 6, 0})});
  EXPECT_EQ(times(BuildTargetPeriods(back, 0, 1)),
            (V{"03/07 10:05:00-03/07 10:00:00/2", "03/07 10:06:00-03/07 10:06:00/1"}));

  // Across midnight and a year end.
  const RunData night = MakeRun(1, {At({2025, 12, 31, 23, 58, 0}), At({2025, 12, 31, 23, 59, 59}),
                                At({2026, 1, 1, 0, 0, 0})});
  EXPECT_EQ(times(BuildTargetPeriods(night, 0, 2)),
            (V{"12/31 23:58:00-12/31 23:59:59/2", "01/01 00:00:00-01/01 00:00:00/1"}));
}

TEST(ReportBuilding, TargetsTakeEveryNthRecordAndShortRunsAreRefused) {
  std::vector<ResultRecord> seven;
  for (int i = 0; i < 7; ++i) seven.push_back(At({2026, 3, 7, 10, i, 0}, i == 4 ? -1 : i + 1));
  const RunData run = MakeRun(3, seven);
  auto built = BuildReport(run, 60);
  ASSERT_TRUE(built.ok());
  const Report& r = built.value();
  ASSERT_EQ(r.targets.size(), 3u);
  EXPECT_EQ(r.targets[0].address, "127.0.0.1");
  EXPECT_EQ(r.targets[2].address, "127.0.0.3");
  ASSERT_EQ(r.targets[0].periods.size(), 1u);
  EXPECT_EQ(r.targets[0].periods[0].sent, 3);                       // records 0, 3, 6
  EXPECT_EQ(r.targets[0].periods[0].avgTime, 4);                    // (1 + 4 + 7) / 3
  EXPECT_EQ(r.targets[0].periods[0].to, "03/07 10:06:00");
  EXPECT_EQ(r.targets[1].periods[0].sent, 2);                       // records 1, 4
  EXPECT_EQ(r.targets[1].periods[0].lossRate, "50.00 % ");
  EXPECT_EQ(r.targets[2].periods[0].sent, 2);                       // records 2, 5

  auto incomplete = BuildReport(MakeRun(3, {seven[0], seven[1]}), 1);
  ASSERT_FALSE(incomplete.ok());
  EXPECT_EQ(incomplete.error().message, "Ping test doesn't completed, Cannot generate report.    ");
  auto empty = BuildReport(MakeRun(2, {}), 1);
  ASSERT_FALSE(empty.ok());
  EXPECT_EQ(empty.error().message, "No Data to Generate Report.    ");
  EXPECT_EQ(LastRecordIndex(MakeRun(2, {})), -1);
  EXPECT_EQ(LastRecordIndex(run), 6);
}

TEST(ReportBuilding, BySizeRowsInTheOrderSizesWereFirstUsed) {
  const RunData run = MakeRun(1, {At({2026, 3, 7, 10, 0, 0}, 5, 64, 32),
                              At({2026, 3, 7, 10, 0, 1}, -1, 64, 64),
                              At({2026, 3, 7, 10, 0, 2}, 7, 64, 32),
                              At({2026, 3, 7, 10, 0, 3}, -1, 64, 96),
                              At({2026, 3, 7, 10, 0, 4}, 9, 60, 64)});
  auto built = BuildReport(run, 1, ReportGrouping::BufferSize);
  ASSERT_TRUE(built.ok());
  const auto& rows = built.value().targets[0].periods;
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].bufferSize, 32);
  EXPECT_EQ(rows[0].from + "|" + rows[0].to, "03/07 10:00:00|03/07 10:00:02");
  EXPECT_EQ(rows[0].avgTime, 6);
  EXPECT_EQ(rows[1].bufferSize, 64);
  EXPECT_EQ(rows[1].from + "|" + rows[1].to, "03/07 10:00:01|03/07 10:00:04");
  EXPECT_EQ(rows[1].lossRate, "50.00 % ");
  EXPECT_EQ(rows[1].avgTtl, 60);
  EXPECT_EQ(rows[2].bufferSize, 96);
  EXPECT_EQ(rows[2].lossRate, "100.00 %");
}

TEST(ReportTexts, SmallHelpers) {
  struct Bar {
    const char* rate;
    std::size_t bars;
  };
  for (const Bar& b : {Bar{"100.00 %", 20}, Bar{"33.33 % ", 7}, Bar{"2.50 %  ", 1},
                       Bar{"2.49 %  ", 0}, Bar{"0.00 %  ", 0}, Bar{"12.50 % ", 3}}) {
    SCOPED_TRACE(b.rate);
    EXPECT_EQ(LossRateBar(b.rate), std::string(b.bars, '='));
  }
  EXPECT_EQ(FormatReplyTime(0), "<1 ms");
  EXPECT_EQ(FormatReplyTime(-1), "---");
  EXPECT_EQ(FormatReplyTime(15), "15 ms");
  EXPECT_EQ(FormatTimeField(0), "0");
  EXPECT_EQ(FormatTimeField(-1), "");
  EXPECT_EQ(FormatTimeField(15), "15");
  EXPECT_EQ(ShortLabel("host.test / 127.0.0.2"), "host.test");
  EXPECT_EQ(ShortLabel("127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(ShortLabel("  a b /c/d"), "a b");
  EXPECT_EQ(LossRateCell("13.33 % "), "  13.33 % ");
  EXPECT_EQ(LossRateCell("0.00 %  "), "    0.00 %  ");
  EXPECT_EQ(LossRateCell("100.00 %"), "100.00 %");
  EXPECT_EQ(ReportStamp(At({2026, 3, 7, 14, 5, 9})), "03071405");
}

TEST(ReportTexts, PeriodTextAndProposal) {
  struct Case {
    const char* text;
    double minutes;
  };
  for (const Case& c : {Case{"45", 45}, Case{"2.5", 2.5}, Case{"0.5", 0.5}, Case{" 7 ", 7},
                        Case{"", 1}, Case{"abc", 1}, Case{"0", 1}, Case{"-3", 1},
                        Case{"0.0", 1}}) {
    SCOPED_TRACE(c.text);
    EXPECT_DOUBLE_EQ(PeriodMinutesFromText(c.text), c.minutes);
  }
  EXPECT_EQ(ProposedPeriodText(MakeRun(1, {At({2026, 3, 7, 10, 0, 0}), At({2026, 3, 7, 11, 35, 59})})),
            "9");
  EXPECT_EQ(ProposedPeriodText(MakeRun(1, {At({2026, 3, 7, 10, 0, 0}), At({2026, 3, 7, 10, 5, 0})})),
            "1");
  EXPECT_EQ(ProposedPeriodText(MakeRun(1, {})), "1");
  // A clock that went back proposes no negative length.
  EXPECT_EQ(ProposedPeriodText(MakeRun(1, {At({2026, 3, 7, 12, 0, 0}), At({2026, 3, 7, 10, 0, 0})})),
            "1");
}

// A small report with the three rate paddings, a period without replies and a
// target given by name.
Report SmallReport(ReportGrouping grouping) {
  auto period = [](const char* from, const char* to, std::int32_t ttl, std::int32_t sent,
                   std::int32_t lost, std::int32_t time, const char* rate, std::int32_t size) {
    ReportPeriod p;
    p.from = from;
    p.to = to;
    p.avgTtl = ttl;
    p.sent = sent;
    p.lost = lost;
    p.avgTime = time;
    p.lossRate = rate;
    p.bufferSize = size;
    return p;
  };
  Report r;
  r.grouping = grouping;
  r.targets.push_back({"127.0.0.1", "127.0.0.1",
                       {period("03/07 14:05:09", "03/07 14:09:59", 128, 60, 8, 15, "13.33 % ", 32),
                        period("03/07 14:10:00", "03/07 14:10:59", 0, 5, 5, -1, "100.00 %", 64),
                        period("03/07 14:11:00", "03/07 14:11:30", 64, 4, 0, 0, "0.00 %  ", 1024)}});
  r.targets.push_back({"127.0.0.2", "host.test / 127.0.0.2",
                       {period("03/07 14:05:09", "03/07 14:06:10", 57, 154, 19, 8, "12.34 % ", 32)}});
  return r;
}

TEST(ReportFiles, TextLayout) {
  std::ostringstream time;
  ExportReportText(time, SmallReport(ReportGrouping::TimePeriod));
  EXPECT_EQ(time.str(),
            " \r\n"
            "Test Time                              TTL\tSent\tLost\tAvg Time\tLoss Rate\r\n"
            "------------------------------------------------------------------------------------------\r\n"
            "\r\nIP: 127.0.0.1\r\n\r\n"
            "03/07 14:05:09 - 03/07 14:09:59        128\t60\t8\t15 ms    \t 13.33 % \r\n"
            "03/07 14:10:00 - 03/07 14:10:59        0\t5\t5\t---    \t100.00 %\r\n"
            "03/07 14:11:00 - 03/07 14:11:30        64\t4\t0\t<1 ms    \t  0.00 %  \r\n"
            "\r\n \r\n"
            "\r\nIP: host.test / 127.0.0.2\r\n\r\n"
            "03/07 14:05:09 - 03/07 14:06:10        57\t154\t19\t8 ms    \t 12.34 % \r\n"
            "\r\n \r\n");
  std::ostringstream size;
  ExportReportText(size, SmallReport(ReportGrouping::BufferSize));
  EXPECT_EQ(size.str(),
            " \r\n"
            "Date Time                  Buffer      TTL\tSent\tLost\tAvg Time\tLoss Rate\r\n"
            "------------------------------------------------------------------------------------------\r\n"
            "\r\nIP: 127.0.0.1\r\n\r\n"
            "03/07 14:05:09 - 03/07 14:09:59  32      128\t60\t8\t15 ms    \t 13.33 % \r\n"
            "03/07 14:10:00 - 03/07 14:10:59  64      0\t5\t5\t---    \t100.00 %\r\n"
            "03/07 14:11:00 - 03/07 14:11:30  1024    64\t4\t0\t<1 ms    \t  0.00 %  \r\n"
            "\r\n \r\n"
            "\r\nIP: host.test / 127.0.0.2\r\n\r\n"
            "03/07 14:05:09 - 03/07 14:06:10  32      57\t154\t19\t8 ms    \t 12.34 % \r\n"
            "\r\n \r\n");
}

TEST(ReportFiles, CsvLayout) {
  std::ostringstream time;
  ExportReportCsv(time, SmallReport(ReportGrouping::TimePeriod));
  EXPECT_EQ(time.str(),
            "Ping Test Report\r\n"
            "Test Time From,To,TTL,Sent,Lost,Avg Time,Loss Rate\r\n"
            "IP: 127.0.0.1\r\n\r\n"
            "03/07 14:05:09,03/07 14:09:59,128,60,8,15,13.33 % \r\n"
            "03/07 14:10:00,03/07 14:10:59,0,5,5,,100.00 %\r\n"
            "03/07 14:11:00,03/07 14:11:30,64,4,0,0,0.00 %  \r\n"
            "\r\n \r\n"
            "IP: host.test / 127.0.0.2\r\n\r\n"
            "03/07 14:05:09,03/07 14:06:10,57,154,19,8,12.34 % \r\n"
            "\r\n \r\n");
  std::ostringstream size;
  ExportReportCsv(size, SmallReport(ReportGrouping::BufferSize));
  EXPECT_EQ(size.str(),
            "Ping Test Report\r\n"
            "Test Time From,To,Buffer Size,TTL,Sent,Lost,Avg Time,Loss Rate\r\n"
            "IP: 127.0.0.1\r\n\r\n"
            "03/07 14:05:09,03/07 14:09:59,32,128,60,8,15,13.33 % \r\n"
            "03/07 14:10:00,03/07 14:10:59,64,0,5,5,,100.00 %\r\n"
            "03/07 14:11:00,03/07 14:11:30,1024,64,4,0,0,0.00 %  \r\n"
            "\r\n \r\n"
            "IP: host.test / 127.0.0.2\r\n\r\n"
            "03/07 14:05:09,03/07 14:06:10,32,57,154,19,8,12.34 % \r\n"
            "\r\n \r\n");
}

TEST(ReportFiles, BuiltReportWritesWhatItCounted) {
  // 154 pings to one target with 19 lost: 12.34 %.
  std::vector<ResultRecord> records;
  for (int i = 0; i < 154; ++i)
    records.push_back(At({2026, 3, 7, 14, 5, i % 60}, i < 19 ? -1 : 8, 57));
  RunData run = MakeRun(1, records);
  run.targetLabels = {"host.test / 127.0.0.1"};
  auto built = BuildReport(run, 1);
  ASSERT_TRUE(built.ok());
  std::ostringstream csv;
  ExportReportCsv(csv, built.value());
  EXPECT_EQ(csv.str(),
            "Ping Test Report\r\n"
            "Test Time From,To,TTL,Sent,Lost,Avg Time,Loss Rate\r\n"
            "IP: host.test / 127.0.0.1\r\n\r\n"
            "03/07 14:05:00,03/07 14:05:33,57,154,19,8,12.34 % \r\n"
            "\r\n \r\n");
}

TEST(ReportFiles, TargetsWithoutRowsOrLabel) {
  // A target whose records were all damaged has no rows; one without a label
  // is named by its address; a label's cells are guarded in the CSV file.
  Report r;
  r.targets.push_back({"127.0.0.9", "", {}});
  ReportPeriod p;
  p.from = "03/07 14:05:09";
  p.to = "03/07 14:05:09";
  p.avgTtl = 64;
  p.sent = 1;
  p.avgTime = 3;
  p.lossRate = "0.00 %  ";
  r.targets.push_back({"127.0.0.3", "x,=cmd", {p}});

  std::ostringstream text;
  ExportReportText(text, r);
  EXPECT_EQ(text.str(),
            " \r\n"
            "Test Time                              TTL\tSent\tLost\tAvg Time\tLoss Rate\r\n"
            "------------------------------------------------------------------------------------------\r\n"
            "\r\nIP: 127.0.0.9\r\n\r\n"
            "\r\n \r\n"
            "\r\nIP: x,=cmd\r\n\r\n"
            "03/07 14:05:09 - 03/07 14:05:09        64\t1\t0\t3 ms    \t  0.00 %  \r\n"
            "\r\n \r\n");
  std::ostringstream csv;
  ExportReportCsv(csv, r);
  EXPECT_EQ(csv.str(),
            "Ping Test Report\r\n"
            "Test Time From,To,TTL,Sent,Lost,Avg Time,Loss Rate\r\n"
            "IP: 127.0.0.9\r\n\r\n"
            "\r\n \r\n"
            "IP: x,'=cmd\r\n\r\n"
            "03/07 14:05:09,03/07 14:05:09,64,1,0,3,0.00 %  \r\n"
            "\r\n \r\n");

  std::ostringstream none;
  ExportReportCsv(none, Report{});
  EXPECT_EQ(none.str(), "Ping Test Report\r\nTest Time From,To,TTL,Sent,Lost,Avg Time,Loss Rate\r\n");
}

}  // namespace
}  // namespace sondrel
