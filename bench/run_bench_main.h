#pragma once
// main() of the run benchmarks: the engine's timers and queued results need
// a Qt event loop.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

inline int RunBenchmarksWithQt(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
