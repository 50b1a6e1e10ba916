// The main window during a scan of 127.0.0.0/16: how long a click waits for
// the window thread while 65,536 reports come in and the grid follows them.
// The real window and services (but for the prompter, which answers at once),
// the real worker program, a data folder in a temporary directory. A helper
// thread asks for a click every 10 ms; the window thread clicks a button when
// it gets to the request, and the delay from request to `clicked` is recorded.
// Needs raw ICMP and a private network namespace (scripts/bench runs it so).
#include "bench_widgets_main.h"
#include "ClickProbe.h"

#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <ctime>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

#include "app/ui/Composition.h"
#include "app/ui/FormMain.h"
#include "core/common/DataFolder.h"
#include "platform/Files_linux.h"
#include "fakes/FakePrompter.h"
#include "iplist/ui/TargetListPanel.h"
#include "scan/ScanRun.h"
#include "scan/ui/ScanPanelPresenter.h"

namespace sondrel {
namespace {

using bench::ClickProbe;
using bench::ClickRequest;
using bench::Percentile;
using Clock = bench::ProbeClock;

long PeakResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

void BM_WindowDuringSlash16Scan(benchmark::State& state) {
  double scanMs = 0, reportsMs = 0, longestAtMs = 0, longestBusyMs = 0;
  std::vector<double> delays;
  int workersPeak = 0;
  bool finished = false;
  for (auto _ : state) {
    QTemporaryDir base;
    const std::string folder = DataFolder(base.path().toStdString());
    QDir().mkpath(QString::fromStdString(folder));
    std::ofstream(folder + "Tolvane_DB.txt", std::ios::binary)
        << "CR,127.0.0.0,127.0.255.255\r\n \r\n";
    WindowServices services = SystemServices();
    services.prompter = std::make_shared<fakes::FakePrompter>();
    FormMain w(services, base.path().toStdString());
    w.Form_Load();
    w.show();
    QPushButton probeButton(QStringLiteral("probe"), &w);
    probeButton.setGeometry(0, 0, 40, 20);
    probeButton.show();
    ClickProbe probe(&probeButton);
    QApplication::processEvents();

    ScanRun& run = *w.scanPresenter()->scanRun();
    QListWidget* list = w.targetList()->ListIP();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(0)).center());
    std::atomic<bool> asking{true};
    std::thread asker([&] {
      // Bounded by the scan's own bound below.
      while (asking.load()) {
        QCoreApplication::postEvent(&probe, new ClickRequest(Clock::now()));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    });
    QElapsedTimer clock;
    clock.start();
    const Clock::time_point started = Clock::now();
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Command8")), Qt::LeftButton);
    const bool allIn = QTest::qWaitFor(
        [&] {
          const ScanCounters& n = run.counters();
          return !run.launching() && n.total >= 1 && n.received >= n.total;
        },
        120000);
    reportsMs = static_cast<double>(clock.elapsed());
    finished = allIn && QTest::qWaitFor([&] { return run.scanFinished(); }, 10000);
    scanMs = static_cast<double>(clock.elapsed());
    asking = false;
    asker.join();
    QCoreApplication::removePostedEvents(&probe, ClickRequest::type());
    delays = probe.delaysMs;
    if (!delays.empty()) {
      // When in the scan the longest wait ended: launching, reports, finish.
      const auto longest = std::max_element(delays.begin(), delays.end()) - delays.begin();
      longestAtMs = std::chrono::duration<double, std::milli>(
                        probe.answeredAt[static_cast<std::size_t>(longest)] - started)
                        .count();
      // The window thread's processor time from the answer before to this
      // one: what our own code took of that wait.
      const auto k = static_cast<std::size_t>(longest);
      longestBusyMs = k > 0 ? probe.cpuAtAnswerMs[k] - probe.cpuAtAnswerMs[k - 1] : 0;
    }
    workersPeak = run.peakWorkers();

    if (run.counters().received != 65536)
      std::fprintf(stderr, "scan_window_bench: %d of 65536 reports\n", run.counters().received);
  }
  if (!finished) state.SkipWithError("the scan did not finish within its bound");
  state.counters["scan_ms"] = scanMs;
  state.counters["reports_ms"] = reportsMs;
  state.counters["click_max_ms"] = delays.empty() ? 0 : *std::max_element(delays.begin(), delays.end());
  state.counters["click_max_at_ms"] = longestAtMs;
  state.counters["click_p99_ms"] = Percentile(delays, 0.99);
  state.counters["click_median_ms"] = Percentile(delays, 0.5);
  state.counters["clicks"] = static_cast<double>(delays.size());
  state.counters["click_max_window_cpu_ms"] = longestBusyMs;
  state.counters["peak_rss_mb"] = static_cast<double>(PeakResidentKb()) / 1024.0;
  state.counters["workers_peak"] = workersPeak;
}
BENCHMARK(BM_WindowDuringSlash16Scan)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace sondrel

int main(int argc, char** argv) { return RunBenchmarksWithWidgets(argc, argv); }
