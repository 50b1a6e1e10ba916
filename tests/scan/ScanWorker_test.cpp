// The scan through real worker processes: the report channel, the worker
// program on loopback, and a /24 of test hosts in network namespaces.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <sys/stat.h>

#include "platform/ProcessService_linux.h"
#include "platform/IcmpTestSupport.h"
#include "ports/ProcessService.h"
#include "scan/ScanRun.h"
#include "support/SkipMissing.h"

namespace sondrel {
namespace {

const std::string kWorkerProgram = SONDREL_BIN_DIR "/sondrel-scanworker";

bool WaitComplete(ScanRun& run, int ms) {
  QSignalSpy complete(&run, &ScanRun::reportsComplete);
  return complete.count() > 0 || complete.wait(ms);
}

bool AllDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// A stand-in worker written as a shell script: what it prints to descriptor 3
// is what the scan run reads.
std::string ScriptWorker(const QTemporaryDir& dir, const std::string& body) {
  const std::string path = dir.filePath("worker.sh").toStdString();
  std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
  ::chmod(path.c_str(), 0700);
  return path;
}

TEST(ScanChannel, OnlyWholeFramesWithIdentifierThreeCount) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  auto processes = MakeProcessService();
  // A wrong identifier, a frame far over 256 bytes, a good frame cut in two
  // writes, and a last frame without its NUL when the worker ends. Only the
  // worker given index 0 speaks (each address gets a worker of its own).
  const std::string worker = ScriptWorker(
      dir,
      "case \"$1\" in 3,127.0.0.1,0,*) ;; *) exit 0 ;; esac\n"
      "printf '\\0021,Dead\\000' >&3\n"
      "head -c 400 /dev/zero | tr '\\0' 9 | sed 's/^/\\x03/' >&3; printf '\\000' >&3\n"
      "printf '\\0030,5,' >&3; printf '64,,\\000' >&3\n"
      "printf '\\0031,Dead\\000' >&3\n"
      "printf '\\0032,Dead' >&3\n");
  ScanRun run(*processes, worker);
  ASSERT_TRUE(run.StartScan({"127.0.0.1", "127.0.0.2", "127.0.0.3"}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !run.launching() && run.workersAlive() == 0; }, 10000));
  EXPECT_EQ(run.counters().received, 2);
  EXPECT_EQ(run.table()[0].ms, "5");
  EXPECT_EQ(run.table()[0].ttl, "64");
  EXPECT_EQ(run.table()[1].ms, "Dead");
  // The frame cut at the end counts as no report, and a second worker for
  // it says nothing either.
  EXPECT_TRUE(run.table()[2].notReported);
}

TEST(ScanChannel, AWorkerThatCannotProbeSaysWhy) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  auto processes = MakeProcessService();
  ScanRun run(*processes, ScriptWorker(dir, "echo 'no ICMP socket here' ; exit 3"));
  QSignalSpy failed(&run, &ScanRun::workerFailed);
  ASSERT_TRUE(run.StartScan({"127.0.0.1"}));
  ASSERT_TRUE(failed.wait(10000));
  EXPECT_EQ(failed[0][0].toString(), QStringLiteral("no ICMP socket here"));
}

TEST(ScanWorkerProgram, ThirtyLoopbackAddressesAllAnswer) {
  if (!testing::Isolated()) SONDREL_SKIP_MISSING("needs the private test namespace (name lookups)");
  auto processes = MakeProcessService();
  ScanRun run(*processes, kWorkerProgram);
  std::vector<std::string> addresses;
  for (int k = 1; k <= 30; ++k) addresses.push_back("127.0.0." + std::to_string(k));
  ASSERT_TRUE(run.StartScan(addresses));
  ASSERT_TRUE(WaitComplete(run, 20000));
  EXPECT_EQ(run.counters().total, 30);
  EXPECT_EQ(run.counters().active, 30);
  EXPECT_EQ(run.counters().inactive, 0);
  for (const ScanRecord& r : run.table()) {
    EXPECT_TRUE(AllDigits(r.ms)) << r.ip << " " << r.ms;
    EXPECT_EQ(r.ttl, "64") << r.ip;
    EXPECT_EQ(r.host.find(','), std::string::npos);
  }
  EXPECT_EQ(run.table()[0].host, "localhost");
}

TEST(ScanWorkerProgram, ATwentyFourWithThreeTestHostsInNamespaces) {
  if (const std::string why = testing::WhyNoNamespaces(); !why.empty()) SONDREL_SKIP_MISSING(why);
  testing::PeerNamespace peer("scan", "sscan0", "10.77.0.1", "10.77.0.2");
  ASSERT_TRUE(peer.ok());
  ASSERT_TRUE(peer.inside("ip addr add 10.77.0.3/24 dev sscan0p"));
  ASSERT_TRUE(peer.inside("ip addr add 10.77.0.4/24 dev sscan0p"));
  auto processes = MakeProcessService();
  ScanRun run(*processes, kWorkerProgram);
  std::vector<std::string> addresses;
  for (int k = 1; k <= 254; ++k) addresses.push_back("10.77.0." + std::to_string(k));
  ASSERT_TRUE(run.StartScan(addresses));
  ASSERT_TRUE(WaitComplete(run, 20000));
  EXPECT_EQ(run.counters().active, 4);
  EXPECT_EQ(run.counters().inactive, 250);
  for (int k = 0; k < 254; ++k) {
    const ScanRecord& r = run.table()[static_cast<std::size_t>(k)];
    if (k < 4) {
      EXPECT_TRUE(AllDigits(r.ms)) << r.ip;
      EXPECT_EQ(r.ttl, "64") << r.ip;
    } else {
      EXPECT_EQ(r.ms, "Dead") << r.ip;
    }
  }
}

}  // namespace
}  // namespace sondrel
