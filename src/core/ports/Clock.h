#pragma once
// Local wall-clock time and a monotonic millisecond count.

#include <cstdint>

#include "core/common/LocalDateTime.h"

namespace sondrel {

class IClock {
 public:
  virtual ~IClock() = default;
  virtual LocalDateTime now() const = 0;
  // Milliseconds from an arbitrary start; never goes back.
  virtual std::int64_t monotonicMs() const = 0;
  // Wall-clock time in microseconds since 1970-01-01 00:00 UTC, for stamps
  // that must mean the same moment in any time zone.
  virtual std::int64_t utcMicros() const = 0;
};

}  // namespace sondrel
