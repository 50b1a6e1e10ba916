// Start-up of the window with a 100 MB log of the previous run in its data
// folder: the time until the window is shown, and until the previous run is
// reloaded into it (off the window thread). The real services, but for the
// prompter, which answers the question about the large log with Yes.
#include "bench_widgets_main.h"
#include "HundredMegabyteLog.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include "app/ui/Composition.h"
#include "app/ui/FormMain.h"
#include "core/common/DataFolder.h"
#include "platform/Files_linux.h"
#include "core/ping/RunRecords.h"
#include "fakes/FakePrompter.h"
#include "ping/RunLog.h"

namespace sondrel {
namespace {

// A data folder base holding a log of about 100 MB: 256 targets.
const std::string& BaseWith100MBLog() {
  static QTemporaryDir dir;
  static const std::string base = [] {
    const std::string b = dir.path().toStdString();
    const std::string folder = DataFolder(b);
    QDir().mkpath(QString::fromStdString(folder));
    WriteHundredMegabyteLog(folder);
    return b;
  }();
  return base;
}

void BM_StartUpWith100MBLog(benchmark::State& state) {
  const std::string base = BaseWith100MBLog();
  double shownMs = 0, reloadedMs = 0;
  for (auto _ : state) {
    WindowServices services = SystemServices();
    services.prompter = std::make_shared<fakes::FakePrompter>();
    QElapsedTimer clock;
    clock.start();
    FormMain w(services, base);
    w.Form_Load();
    shownMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    QEventLoop loop;
    QObject::connect(w.runLog(), &RunLog::reloadFinished, &loop, &QEventLoop::quit);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    reloadedMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    state.SetIterationTime(shownMs / 1000.0);
  }
  state.counters["shown_ms"] = shownMs;
  state.counters["reloaded_ms"] = reloadedMs;
}
BENCHMARK(BM_StartUpWith100MBLog)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace
}  // namespace sondrel

int main(int argc, char** argv) { return RunBenchmarksWithWidgets(argc, argv); }
