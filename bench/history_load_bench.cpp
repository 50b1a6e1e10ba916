// Loading a 100,000-line command history (a file edited or merged by hand):
// the file alone, and into the panel's list as the user sees it.
#include <benchmark/benchmark.h>

#include <QListWidget>
#include <QTemporaryDir>
#include <fstream>
#include <memory>
#include <string>

#include "command/ui/DosPanelPresenter.h"
#include "command/ui/PictureDOS.h"
#include "core/command/CommandHistory.h"
#include "core/common/DataFolder.h"
#include "platform/Files_linux.h"
#include "bench_widgets_main.h"

namespace {

constexpr int kLines = 100000;

std::string longHistory() {
  std::string bytes;
  for (int i = 0; i < kLines; ++i)
    bytes += "  ping 10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) + "." +
             std::to_string(i % 256) + " -c " + std::to_string(i % 7 + 1) + "\r\n";
  return bytes + " \r\n";
}

struct HistoryFile {
  QTemporaryDir dir;
  std::string path;
  HistoryFile() {
    path = sondrel::DataFolder(dir.path().toStdString()) + std::string(sondrel::kCommandHistoryFile);
    std::ofstream(path, std::ios::binary) << longHistory();
  }
};

void BM_HistoryLoadFile(benchmark::State& state) {
  HistoryFile file;
  sondrel::CommandHistory history(sondrel::SystemFiles(), file.path);
  for (auto _ : state) {
    if (!history.LoadHistory() || history.HistoryLines().size() != kLines)
      state.SkipWithError("load failed");
  }
}
BENCHMARK(BM_HistoryLoadFile)->Unit(benchmark::kMillisecond);

void BM_HistoryLoadIntoPanel(benchmark::State& state) {
  HistoryFile file;
  sondrel::PictureDOS panel;
  panel.resize(600, 400);
  sondrel::DosPanelPresenter presenter({nullptr, nullptr, nullptr, &sondrel::SystemFiles()});
  presenter.setViews(&panel, &panel, nullptr);
  presenter.setHistoryFile(file.path);
  for (auto _ : state) {
    presenter.LoadHistory();
    if (panel.ListDOSHis()->count() != kLines) state.SkipWithError("load failed");
  }
}
BENCHMARK(BM_HistoryLoadIntoPanel)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return RunBenchmarksWithWidgets(argc, argv); }
