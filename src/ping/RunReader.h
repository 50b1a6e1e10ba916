#pragma once
// A reader of what a ping run does, for anyone who keeps or shows its results
// besides the run itself: an archive, a monitor, a metrics endpoint. The
// composition root adds readers to the run (PingRun::addReader); the run
// knows nothing of them. Every call comes on the run's (the window's)
// thread, in the order the run did it.

#include <cstdint>

#include "core/ping/PingParameters.h"
#include "core/ping/RunRecords.h"

namespace sondrel {

// What the carrier knew of one echo beyond its record.
struct EchoDetail {
  std::uint32_t roundTripUs = 0;  // as the carrier measured it; 0 without a reply
  std::int64_t sentUtcUs = 0;     // when it went out: microseconds since 1970 UTC
  std::uint32_t pass = 0;         // the run's pass it belongs to, from 0
};

// Why a run ended.
enum class RunEnd {
  CountReached,  // every target had its pings
  Stopped,       // the user (or the command line's interrupt) stopped it
  ScheduledEnd,  // the schedule's end time passed
};

class RunReader {
 public:
  virtual ~RunReader() = default;
  // The run's log has started and its first pass is due: its targets,
  // labels and step length are in `run`; `parameters` as the run began.
  virtual void runStarted(const RunData& run, const PingParameters& parameters) {
    (void)run;
    (void)parameters;
  }
  // One result, in order: its row (0-based) in the run's records, the
  // record, and what the carrier measured of it.
  virtual void resultAdded(std::int64_t row, const ResultRecord& record, const EchoDetail& echo) {
    (void)row;
    (void)record;
    (void)echo;
  }
  // A pass over every target has ended (also the last one of a run).
  virtual void passEnded() {}
  // The run is over and its log closed: `run` holds every record.
  virtual void runEnded(const RunData& run, RunEnd how) {
    (void)run;
    (void)how;
  }
  // A previous run (reloaded from the log) is now the one shown.
  virtual void previousRunShown(const RunData& run) { (void)run; }
};

}  // namespace sondrel
