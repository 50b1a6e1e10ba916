// Logs nobody should have to read: ten million lines with corruption strewn
// through them, lines of a megabyte, NUL bytes and bytes that are no text.
// The reload must finish, show every line that is whole, count the others,
// and take memory for its records and one piece of the file, not the file.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "core/ping/RunRecords.h"
#include "platform/Files_linux.h"
#include "ping/RunLog.h"

namespace sondrel {
namespace {

using namespace std::string_literals;

// Peak resident memory of this process since the last ResetPeakMemory, in KiB.
long PeakMemoryKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = -1;
  while (status >> key) {
    if (key == "VmHWM:") {
      status >> value;
      return value;
    }
    status.ignore(1 << 12, '\n');
  }
  return -1;
}

bool ResetPeakMemory() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

// A line the program writes: "2026,03,07,14,05,09,10.77.0.K,32,T,64,0".
std::string GoodLine(int k) {
  const int time = k % 50;
  return "2026,03,07,14,05,09,10.77.0." + std::to_string(k % 256) + ",32," + std::to_string(time) +
         ",64,0\r\n";
}

TEST(RunLogHostile, TenMillionLinesWithCorruptionReloadInBoundedMemory) {
  constexpr std::int64_t kLines = 10'000'000;
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString() + "/";
  std::int64_t corrupted = 0;
  {
    std::ofstream out(folder + "Tolvane_DB3.txt", std::ios::binary);
    out << "256,1\r\n";
    std::mt19937_64 random(42);
    std::string block;
    for (std::int64_t i = 0; i < kLines; ++i) {
      if (random() % 1000 == 0) {
        // Garbage in the middle of a line: NUL, bytes that are no UTF-8, an
        // extra field; never a line end, so the lines keep their count.
        std::string line = GoodLine(static_cast<int>(i));
        line.insert(18, std::string("\0\xff\xfe,\x80zz", 7));
        block += line;
        ++corrupted;
      } else if (i == kLines / 2) {
        block += std::string(1 << 20, '7') + "\r\n";  // a line of a megabyte
        ++corrupted;
      } else {
        block += GoodLine(static_cast<int>(i));
      }
      if (block.size() > (1 << 20)) {
        out << block;
        block.clear();
      }
    }
    out << block;
    ASSERT_TRUE(out.flush()) << "disk full?";
  }

  const bool measured = ResetPeakMemory();
  const long before = PeakMemoryKiB();
  RunLog log(folder, SystemFiles());
  auto loaded = log.loadPreviousRun();
  ASSERT_TRUE(loaded) << loaded.error().message;
  const RunData& run = loaded.value();
  EXPECT_EQ(static_cast<std::int64_t>(run.records.size()), kLines);
  EXPECT_EQ(run.damagedLines, corrupted);
  // A damaged line is neither a reply nor a known loss.
  EXPECT_EQ(run.stats.sent, kLines - corrupted);
  EXPECT_EQ(run.stats.lost, 0);
  EXPECT_EQ(run.stats.maxTime, 49);
  EXPECT_LE(run.addresses.size(), 300u);

  if (measured && before > 0) {
    const long grown = PeakMemoryKiB() - before;
    const long records = static_cast<long>(sizeof(ResultRecord) * kLines / 1024);
    std::printf("reload of %lld lines: peak memory grew by %ld KiB (records alone %ld KiB)\n",
                static_cast<long long>(kLines), grown, records);
    // The records, and no copy of the 430 MB file.
    EXPECT_LT(grown, records + 64 * 1024);
  }
}

// Short hostile logs: what is whole is shown, the rest counted, nothing read
// past the first empty line, and a last line without its end left out.
TEST(RunLogHostile, NulBytesBinaryAndCutLines) {
  struct Case {
    const char* what;
    std::string bytes;
    std::size_t records;
    std::int64_t damaged;
  };
  const std::string good = GoodLine(1);
  const std::vector<Case> cases = {
      {"NUL bytes in a field", "1,1\r\n" + good + "2026,03,07,14,05,09,10.77.0.1,3\0002,1,64,0\r\n"s, 2, 1},
      {"only binary", "1,1\r\n\xff\xfe\xfd\x00\x01\r\n"s, 1, 1},
      {"NUL header", "\0\0\0\r\n"s + good, 1, 0},
      {"cut last line", "1,1\r\n" + good + "2026,03,07,14,0", 1, 0},
      {"stops at an empty line", "1,1\r\n" + good + "\r\n" + good, 1, 0},
      {"a line of a lone CR", "1,1\r\n" + good + "\r\r\n" + good, 3, 1},
  };
  for (const Case& c : cases) {
    RunData run;
    const bool ok = LoadRunLog(std::string_view(c.bytes), nullptr, run);
    EXPECT_EQ(ok, c.records > 0) << c.what;
    EXPECT_EQ(run.records.size(), c.records) << c.what;
    EXPECT_EQ(run.damagedLines, c.damaged) << c.what;
  }
}

}  // namespace
}  // namespace sondrel
