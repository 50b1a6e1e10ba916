#pragma once
// main() of the benchmarks that need Qt: the engine's timers and queued
// results need an event loop.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

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
