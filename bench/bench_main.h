#pragma once
// main() of the benchmarks that need Qt: the engine's timers and queued
// results need an event loop, and widgets need an application (offscreen).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCoreApplication>
#include <cstdlib>

template <typename App>
int RunBenchmarksWith(int argc, char** argv) {
  App app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

inline int RunBenchmarksWithQt(int argc, char** argv) {
  return RunBenchmarksWith<QCoreApplication>(argc, argv);
}

inline int RunBenchmarksWithWidgets(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  return RunBenchmarksWith<QApplication>(argc, argv);
}
