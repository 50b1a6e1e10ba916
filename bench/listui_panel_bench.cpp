// Cost of refilling the target list after a load and of showing the detail
// pop-up of the largest default group.
#include <benchmark/benchmark.h>

#include "bench_widgets_main.h"

#include <QApplication>
#include <cstdlib>
#include <string>
#include <vector>

#include "iplist/ui/TargetListPanel.h"

namespace {

std::vector<std::string> MakeLines(int n) {
  std::vector<std::string> lines;
  for (int i = 0; i < n; ++i) lines.push_back("A10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256));
  return lines;
}

std::string SubnetGroup() {
  std::string line = "BIP_Group_Subnet(0-255),10.1.1.0";
  for (int i = 1; i < 256; ++i) line += ",10.1.1." + std::to_string(i);
  return line;
}

void BM_ShowEntries(benchmark::State& state) {
  const auto lines = MakeLines(static_cast<int>(state.range(0)));
  sondrel::TargetListPanel panel;
  for (auto _ : state) panel.showEntries(lines);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ShowEntries)->Arg(20)->Arg(1000)->Arg(10000);

void BM_ShowGroupDetails(benchmark::State& state) {
  const std::string line = SubnetGroup();
  sondrel::TargetListPanel panel;
  for (auto _ : state) panel.ShowEntryDetails(line);
}
BENCHMARK(BM_ShowGroupDetails);

}  // namespace

int main(int argc, char** argv) { return RunBenchmarksWithWidgets(argc, argv); }
