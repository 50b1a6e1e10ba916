#pragma once
// main() of the benchmarks that measure widgets: they need an application
// (offscreen unless a platform is set).
#include <QApplication>
#include <cstdlib>

#include "bench_main.h"

inline int RunBenchmarksWithWidgets(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  return RunBenchmarksWith<QApplication>(argc, argv);
}
