// How far the passes of an archived run were sent from their schedule: the
// run's newest run (or the one given), target 0's echoes, each pass's send
// time against the first pass's plus whole intervals. Prints
//   passes N
//   schedule_p95_ms X   (|sent - scheduled|, 95th percentile)
//   schedule_median_ms X
//   step_p95_ms X       (|gap to the pass before - interval|, 95th percentile)
//   send_schedule ARCHIVE INTERVAL_MS [RUN]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "archive/RunArchive.h"
#include "platform/Files_linux.h"

namespace {

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(v.size()))) - 1;
  return v[std::min(rank, v.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
  using namespace sondrel;
  if (argc < 3) {
    std::fprintf(stderr, "usage: send_schedule ARCHIVE INTERVAL_MS [RUN]\n");
    return 2;
  }
  const double intervalUs = std::atof(argv[2]) * 1000;
  auto archive = RunArchive::open(SystemFiles(), argv[1], ArchiveAccess::ReadOnly);
  if (!archive) {
    std::fprintf(stderr, "send_schedule: %s\n", archive.error().message.c_str());
    return 1;
  }
  std::int64_t run = argc > 3 ? std::atoll(argv[3]) : 0;
  if (run == 0) {
    auto runs = archive.value()->listRuns({}, 0, 1);
    if (!runs || runs.value().empty()) {
      std::fprintf(stderr, "send_schedule: no run\n");
      return 1;
    }
    run = runs.value()[0].id;
  }
  auto echoes = archive.value()->echoesOf(run, 0, 0, INT64_MAX);
  if (!echoes || echoes.value().size() < 2) {
    std::fprintf(stderr, "send_schedule: too few echoes\n");
    return 1;
  }
  const std::vector<ArchivedEcho>& e = echoes.value();
  std::vector<double> off, step;
  for (std::size_t k = 1; k < e.size(); ++k) {
    const double scheduled = static_cast<double>(e[1].sentUtcUs) + static_cast<double>(e[k].pass - e[1].pass) * intervalUs;
    if (k >= 1) off.push_back(std::fabs(static_cast<double>(e[k].sentUtcUs) - scheduled) / 1000);
    if (k >= 2) step.push_back(std::fabs(static_cast<double>(e[k].sentUtcUs - e[k - 1].sentUtcUs) - intervalUs) / 1000);
  }
  std::printf("passes %zu\nschedule_p95_ms %.3f\nschedule_median_ms %.3f\nstep_p95_ms %.3f\n", e.size(),
              percentile(off, 0.95), percentile(off, 0.5), percentile(step, 0.95));
  return 0;
}
