#pragma once
// Hands a run that goes on for days to a reader (the archive) as one run per
// local day: at the first pass end on a new day the reader's run ends (as
// scheduled) and the next begins, with the same targets and its passes
// counted from 0 again. The run itself, and every other reader, go on
// unbroken.

#include <cstdint>
#include <memory>

#include "core/common/LocalDateTime.h"
#include "core/ping/PingParameters.h"
#include "ping/RunReader.h"

namespace sondrel {

class IClock;

class DailyRuns final : public RunReader {
 public:
  // `inner` and `clock` must outlive this reader.
  DailyRuns(RunReader& inner, std::shared_ptr<IClock> clock);

  void runStarted(const RunData& run, const PingParameters& parameters) override;
  void resultAdded(std::int64_t row, const ResultRecord& record, const EchoDetail& echo) override;
  void passEnded() override;
  void runEnded(const RunData& run, RunEnd how) override;

 private:
  struct Day {
    int year, month, day;
    friend bool operator==(const Day&, const Day&) = default;
  };
  Day today() const;

  RunReader& inner_;
  std::shared_ptr<IClock> clock_;
  const RunData* run_ = nullptr;
  PingParameters parameters_;
  Day day_{};
  std::uint32_t passes_ = 0;       // passes ended in the whole run
  std::uint32_t firstPass_ = 0;    // the whole run's pass the day's run began with
  std::int64_t firstRow_ = 0;
  std::int64_t rows_ = 0;
};

}  // namespace sondrel
