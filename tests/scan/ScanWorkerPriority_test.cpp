// The scan worker's priority: the workers of a large scan (many processes,
// each with its lookup threads) run below normal priority so that the window
// keeps the processor time to answer clicks; a small scan's worker does not.
#include <gtest/gtest.h>

#include <QTest>
#include <algorithm>
#include <optional>

#include "platform/ProcessService_linux.h"
#include "core/scan/ScanWire.h"
#include "platform/IcmpTestSupport.h"
#include "platform/Priority_linux.h"
#include "ports/ProcessService.h"
#include "platform/ScanSockets_linux.h"
#include "support/SkipMissing.h"

namespace sondrel {
namespace {

const std::string kWorkerProgram = SONDREL_BIN_DIR "/sondrel-scanworker";

// Starts the worker on `count` loopback addresses and returns the highest
// niceness seen while it ran (nothing when it could not be read at all).
std::optional<int> HighestNicenessOfWorker(std::size_t count) {
  auto processes = MakeProcessService();
  std::vector<ScanPair> pairs;
  for (std::size_t k = 0; k < count; ++k)
    pairs.push_back({"127.0." + std::to_string(k / 250) + "." + std::to_string(1 + k % 250),
                     std::to_string(k)});
  ProcessStart how;
  // The longest start delay keeps even a small worker alive for a while.
  how.argv = {kWorkerProgram, BuildWorkerCommandLine(3, pairs, 100000)};
  how.socketFdInChild = 3;
  auto started = processes->start(how);
  if (!started) {
    ADD_FAILURE() << started.error().message;
    return std::nullopt;
  }
  ChildProcess& child = *started.value();
  std::optional<int> highest;
  const bool ended = QTest::qWaitFor(
      [&] {
        // The reports are read, or the worker would wait for room to write.
        char buffer[4096];
        std::size_t got = 0;
        while (child.readChannel(buffer, sizeof buffer, &got) == ChannelRead::Data) {
        }
        if (const auto n = ProcessNiceness(child.pid()); n && child.running())
          highest = std::max(highest.value_or(*n), *n);
        return !child.running();
      },
      30000);
  EXPECT_TRUE(ended) << "the worker did not end";
  return highest;
}

TEST(ScanWorkerPriority, ALargeScansWorkerRunsBelowNormalPriorityASmallOneDoesNot) {
  if (!testing::Isolated()) SONDREL_SKIP_MISSING("needs the private test namespace (name lookups)");
  const auto start = ProcessNiceness(0);
  ASSERT_TRUE(start.has_value());
  const auto large = HighestNicenessOfWorker(1024);
  ASSERT_TRUE(large.has_value());
  EXPECT_EQ(*large, *start + 10);
  const auto small = HighestNicenessOfWorker(3);
  ASSERT_TRUE(small.has_value());
  EXPECT_EQ(*small, *start);
}

}  // namespace
}  // namespace sondrel
