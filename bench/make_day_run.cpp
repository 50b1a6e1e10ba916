// Writes a day's run (bench/DayRun.h: 100 loopback targets, an echo each a
// second for the 24 hours that end now) into the archive the window reads,
// to be opened by hand in the Archived Runs window and the monitor.
//
//   make_day_run          the window's own data folder: $XDG_DATA_HOME, or
//                         $HOME/.local/share, then SondrelDataBas/Sondrel.sqlite
//   make_day_run BASE     BASE/SondrelDataBas/Sondrel.sqlite, the folder the
//                         window uses with XDG_DATA_HOME=BASE
//
// So `HOME=/tmp/x build/bin/make_day_run`, then `HOME=/tmp/x scripts/run`
// (under xvfb-run -a without a display): File > Archived Runs, open the run,
// then the monitor. A window open on that folder may stay open (the archive
// takes a second writer); the run is listed once its runs list is read again.
// The outages are found with the user's [monitor] outage_after, as a run of
// the window would.
#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <string>

#include "DayRun.h"
#include "core/common/DataFolder.h"
#include "monitor/RunMonitor.h"
#include "platform/Files_linux.h"

int main(int argc, char** argv) {
  using namespace sondrel;
  QCoreApplication app(argc, argv);
  if (argc > 2 || (argc == 2 && argv[1][0] != '/')) {
    std::fprintf(stderr, "usage: make_day_run [ABSOLUTE_BASE_FOLDER]\n");
    return 2;
  }
  FileService& files = SystemFiles();
  const std::string base = argc == 2 ? std::string(argv[1]) : ApplicationDataFolder(files);
  if (base.empty()) {
    std::fprintf(stderr, "make_day_run: neither XDG_DATA_HOME nor HOME names a folder\n");
    return 2;
  }
  const std::string path = DataFolder(files, base) + kArchiveFile;
  const std::int64_t now =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  bench::DayRunShape shape = bench::DayEndingAt(now);
  shape.outageAfter = ReadMonitorSettings().outageAfter;
  std::printf("make_day_run: writing %d targets x %d echoes into %s\n", shape.targets, shape.seconds, path.c_str());
  std::fflush(stdout);
  const auto began = std::chrono::steady_clock::now();
  const bench::DayRunWritten written = bench::WriteDayRun(files, path, shape, [](int hour) {
    std::printf("\r  hour %2d of 24", hour);
    std::fflush(stdout);
  });
  std::printf("\n");
  if (written.run == 0) {
    std::fprintf(stderr, "make_day_run: %s\n", written.failure.c_str());
    return 1;
  }
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  std::printf("make_day_run: run %lld, %lld results in %.1f s\n", static_cast<long long>(written.run),
              static_cast<long long>(written.results), s);
  return 0;
}
