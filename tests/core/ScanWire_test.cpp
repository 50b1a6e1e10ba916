// The worker's command line, report texts, frames and the report counting.
#include <gtest/gtest.h>

#include "core/scan/ScanWire.h"

namespace sondrel {
namespace {

TEST(WorkerCommandLine, KeepsTheFieldLayoutAndCarriesFurtherPairsAfterTheDelay) {
  EXPECT_EQ(BuildWorkerCommandLine(3, {{"192.168.1.17", "16"}}, 350), "3,192.168.1.17,16,,,,,350");
  EXPECT_EQ(BuildWorkerCommandLine(7, {{"10.0.0.1", "0"}, {"10.0.0.2", "1"}, {"10.0.0.3", "2"},
                                       {"10.0.0.4", "3"}, {"10.0.0.5", "4"}},
                                   350),
            "7,10.0.0.1,0,10.0.0.2,1,10.0.0.3,2,350,10.0.0.4,3,10.0.0.5,4");

  const WorkerJob one = ParseWorkerCommandLine("655412,192.168.1.17,16,,,,,350");
  EXPECT_EQ(one.reportFd, 655412);
  EXPECT_EQ(one.delay, 350);
  ASSERT_EQ(one.pairs.size(), 1u);
  EXPECT_EQ(one.pairs[0].address, "192.168.1.17");
  EXPECT_EQ(one.pairs[0].index, "16");

  const WorkerJob many =
      ParseWorkerCommandLine("7,10.0.0.1,0,10.0.0.2,1,10.0.0.3,2,350,10.0.0.4,3,10.0.0.5,4");
  ASSERT_EQ(many.pairs.size(), 5u);
  EXPECT_EQ(many.pairs[3].address, "10.0.0.4");
  EXPECT_EQ(many.pairs[4].index, "4");
  EXPECT_EQ(many.delay, 350);
}

TEST(WorkerCommandLine, TextThatIsNoNumberCountsAsNothing) {
  const WorkerJob job = ParseWorkerCommandLine("x,10.0.0.1,5,,,,,soon");
  EXPECT_EQ(job.reportFd, -1);
  EXPECT_EQ(job.delay, 0);
  ASSERT_EQ(job.pairs.size(), 1u);
  EXPECT_TRUE(ParseWorkerCommandLine("").pairs.empty());
  EXPECT_TRUE(ParseWorkerCommandLine("3").pairs.empty());
}

TEST(WorkerCommandLine, ArgumentsSplitAtBlanksReadAsOneLine) {
  const char* argv[] = {"PingIPscan2008112", "5,10.0.0.1,", "0,,,,,20"};
  const WorkerJob job = ParseWorkerArguments(3, argv);
  EXPECT_EQ(job.reportFd, 5);
  EXPECT_EQ(job.delay, 20);
  ASSERT_EQ(job.pairs.size(), 1u);
  EXPECT_EQ(job.pairs[0].address, "10.0.0.1");
  EXPECT_EQ(job.pairs[0].index, "0");
  EXPECT_EQ(ParseWorkerArguments(1, argv).reportFd, -1);
}

TEST(ReportTexts, LiveAndDeadInTheirFormats) {
  EXPECT_EQ(LiveReport("17", 3, 128, "PRINTSRV", "00-1A-2B-3C-4D-5E"), "17,3,128,PRINTSRV,00-1A-2B-3C-4D-5E");
  EXPECT_EQ(LiveReport("17", 3, 64, "", ""), "17,3,64,,");
  EXPECT_EQ(DeadReport("17"), "17,Dead");
}

TEST(ReportTexts, HostileNamesCannotShiftTheFields) {
  EXPECT_EQ(CleanReportName("evil,5,1,x\r\nname\x7f\x01"), "evil51xname");
  EXPECT_EQ(CleanReportName("  host.example  "), "host.example");
  const std::string longName(100, 'n');
  EXPECT_EQ(CleanReportName(longName), longName);
  // A name carrying commas and a line end stays one field of five.
  EXPECT_EQ(LiveReport("2", 1, 64, "a,b,c\nd", "x,y"), "2,1,64,abcd,xy");
}

TEST(ReportTexts, ALongNameIsCutAtALabelOnlyWhereTheReportHasNoRoom) {
  const std::string name = "alpha.bravo.charlie";
  EXPECT_EQ(FitReportName(name, 19), name);
  EXPECT_EQ(FitReportName(name, 18), "alpha.bravo...");
  EXPECT_EQ(FitReportName(name, 14), "alpha.bravo...");
  EXPECT_EQ(FitReportName(name, 13), "alpha...");
  EXPECT_EQ(FitReportName(name, 7), "alph...");  // one label too long: cut inside
  EXPECT_EQ(FitReportName(name, 2), "");
  // A report of the longest index and time still fits its frame.
  const std::string longest = std::string(63, 'a') + "." + std::string(63, 'b') + "." +
                              std::string(63, 'c') + "." + std::string(61, 'd');
  const std::string report = LiveReport("4294967295", 4294967295u, 255, longest, "00-1A-2B-3C-4D-5E");
  EXPECT_EQ(report, "4294967295,4294967295,255," + std::string(63, 'a') + "." + std::string(63, 'b') +
                        "." + std::string(63, 'c') + "...,00-1A-2B-3C-4D-5E");
  EXPECT_LE(report.size(), kMaxReportText);
  EXPECT_EQ(LiveReport("1", 0, 64, std::string(107, 'x'), ""), "1,0,64," + std::string(107, 'x') + ",");
}

TEST(ReportFrames, CarryTheIdentifierAndEndInNul) {
  const std::string frame = EncodeReportFrame("17,Dead");
  EXPECT_EQ(frame, std::string("\x03" "17,Dead\0", 9));
  EXPECT_EQ(EncodeReportFrame(std::string(254, 'a')).size(), 256u);
  EXPECT_TRUE(EncodeReportFrame(std::string(255, 'a')).empty());
  EXPECT_TRUE(EncodeReportFrame(std::string("a\0b", 3)).empty());
}

TEST(ReportFrames, ReaderSplitsJoinsAndDropsOverlongFrames) {
  ReportFrameReader reader;
  std::vector<ReportFrame> frames;
  const std::string two = std::string("\x03" "1,Dead\0", 8) + std::string("\x05" "2,Dead\0", 8);
  // Arrives in pieces cut anywhere.
  reader.feed(two.substr(0, 3), frames);
  EXPECT_TRUE(frames.empty());
  reader.feed(two.substr(3), frames);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].identifier, 3);
  EXPECT_EQ(frames[0].text, "1,Dead");
  EXPECT_EQ(frames[1].identifier, 5);

  frames.clear();
  std::string overlong = "\x03" + std::string(300, '9') + std::string(1, '\0');
  reader.feed(overlong + std::string("\x03" "4,Dead\0", 8), frames);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].text, "4,Dead");
}

class ReportCounting : public ::testing::Test {
 protected:
  ScanTable table = ScanTable(20);
  ScanCounters n;
};

TEST_F(ReportCounting, DeadIsInactiveAndLiveIsActive) {
  ApplyScanReport("17,Dead", table, n);
  EXPECT_EQ(table[17].ms, "Dead");
  EXPECT_EQ(n.inactive, 1);
  EXPECT_EQ(n.active, 0);

  ApplyScanReport("16,3,128,,", table, n);
  EXPECT_EQ(table[16].ms, "3");
  EXPECT_EQ(table[16].ttl, "128");
  EXPECT_EQ(table[16].host, "");
  EXPECT_EQ(table[16].mac, "");
  EXPECT_EQ(n.active, 1);

  ApplyScanReport("15, 7 ,64,PRINTSRV,00-1A-2B-3C-4D-5E", table, n);
  EXPECT_EQ(table[15].ms, "7");
  EXPECT_EQ(table[15].host, "PRINTSRV");
  EXPECT_EQ(table[15].mac, "00-1A-2B-3C-4D-5E");
  EXPECT_EQ(n.received, 3);
  EXPECT_EQ(n.reportsShown, 3);
}

TEST_F(ReportCounting, IndexOutsideTheTableCountsOnlyAsReceived) {
  ApplyScanReport("20,Dead", table, n);
  ApplyScanReport("-1,3,64,,", table, n);
  ApplyScanReport("x,Dead", table, n);
  EXPECT_EQ(n.received, 3);
  EXPECT_EQ(n.active + n.inactive, 0);
  for (const ScanRecord& r : table) EXPECT_TRUE(r.pending());
}

TEST_F(ReportCounting, OddFieldCountsStoreTheTimeButCountNeither) {
  ApplyScanReport("4,5,64", table, n);
  EXPECT_EQ(table[4].ms, "5");
  EXPECT_EQ(n.active + n.inactive, 0);
  EXPECT_EQ(n.received, 1);
}

TEST(NodeStatus, RequestAsksForTheWildcardName) {
  const auto p = NodeStatusRequest(0x1234);
  ASSERT_EQ(p.size(), 50u);
  EXPECT_EQ(p[0], 0x12);
  EXPECT_EQ(p[1], 0x34);
  EXPECT_EQ(p[5], 1);     // one question
  EXPECT_EQ(p[12], 32);   // encoded name length
  EXPECT_EQ(p[13], 'C');  // '*' = 0x2A
  EXPECT_EQ(p[14], 'K');
  EXPECT_EQ(p[15], 'A');
  EXPECT_EQ(p[46], 0);
  EXPECT_EQ(p[47], 0x21);  // NBSTAT
  EXPECT_EQ(p[49], 0x01);
}

std::vector<std::uint8_t> Response(std::uint16_t id, std::uint8_t names,
                                   std::array<std::uint8_t, 6> mac) {
  std::vector<std::uint8_t> r = {static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id),
                                 0x84, 0x00, 0, 0, 0, 1, 0, 0, 0, 0};
  r.push_back(32);
  for (int k = 0; k < 32; ++k) r.push_back('A');
  r.push_back(0);
  r.insert(r.end(), {0x00, 0x21, 0x00, 0x01, 0, 0, 0, 0});
  const std::size_t length = 1 + names * 18 + 46;
  r.push_back(static_cast<std::uint8_t>(length >> 8));
  r.push_back(static_cast<std::uint8_t>(length));
  r.push_back(names);
  for (int k = 0; k < names * 18; ++k) r.push_back('N');
  r.insert(r.end(), mac.begin(), mac.end());
  for (int k = 0; k < 40; ++k) r.push_back(0);
  return r;
}

TEST(NodeStatus, ResponseGivesTheUnitIdAsMac) {
  const auto r = Response(0x4321, 3, {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e});
  const auto mac = ParseNodeStatusResponse(r.data(), r.size(), 0x4321);
  ASSERT_TRUE(mac);
  EXPECT_EQ(FormatMac(*mac), "00-1A-2B-3C-4D-5E");
  // Another transaction, a cut packet, an all-zero unit id: nothing.
  EXPECT_FALSE(ParseNodeStatusResponse(r.data(), r.size(), 0x4322));
  EXPECT_FALSE(ParseNodeStatusResponse(r.data(), 70, 0x4321));
  const auto zero = Response(1, 1, {0, 0, 0, 0, 0, 0});
  EXPECT_FALSE(ParseNodeStatusResponse(zero.data(), zero.size(), 1));
  // A name count that points past the record.
  auto bad = Response(2, 1, {1, 2, 3, 4, 5, 6});
  bad[12 + 34 + 10] = 200;
  EXPECT_FALSE(ParseNodeStatusResponse(bad.data(), bad.size(), 2));
}

}  // namespace
}  // namespace sondrel
