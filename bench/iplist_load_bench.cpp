// Loading a 20,000-line target list in which lines repeat (a list edited by
// hand or merged from two machines): reading, trimming and sorting, alone and
// through the store from a file.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <fstream>
#include <string>

#include "core/common/DataFolder.h"
#include "core/iplist/IPListFile.h"
#include "iplist/IPListStore.h"
#include "platform/Files_linux.h"
#include "bench_main.h"

namespace {

constexpr int kLines = 20000;

// Singles, groups and ranges in no order; every tenth line repeats one
// written before it.
std::string listWithDuplicates() {
  std::string bytes;
  for (int i = 0; i < kLines; ++i) {
    const int n = i % 10 == 9 ? (i / 2 * 7) % i : i;
    const std::string id = std::to_string(n);
    const std::string address = "10." + std::to_string((n * 37) % 256) + "." +
                                std::to_string(n / 256 % 256) + "." + std::to_string(n % 256);
    if (n % 3 == 0)
      bytes += "A" + address + "\r\n";
    else if (n % 3 == 1)
      bytes += "BGroup" + id + "," + address + ",host" + id + ".lan\r\n";
    else
      bytes += "CRange" + id + "," + address + "," + address + "\r\n";
  }
  return bytes + " \r\n";
}

void BM_ParseListWithDuplicates(benchmark::State& state) {
  const std::string bytes = listWithDuplicates();
  for (auto _ : state) {
    auto file = sondrel::ParseIPListFile(bytes);
    benchmark::DoNotOptimize(file.entries.data());
    if (file.entries.size() != kLines) state.SkipWithError("wrong count");
  }
}
BENCHMARK(BM_ParseListWithDuplicates)->Unit(benchmark::kMillisecond);

void BM_StoreLoadWithDuplicates(benchmark::State& state) {
  QTemporaryDir dir;
  const std::string folder = sondrel::DataFolder(dir.path().toStdString());
  sondrel::IPListStore store(folder, sondrel::SystemFiles(), nullptr, nullptr);
  std::ofstream(store.path(), std::ios::binary) << listWithDuplicates();
  for (auto _ : state) {
    if (!store.FillIPList() || store.IPEntryCount() != kLines) state.SkipWithError("load failed");
  }
}
BENCHMARK(BM_StoreLoadWithDuplicates)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return RunBenchmarksWithQt(argc, argv); }
