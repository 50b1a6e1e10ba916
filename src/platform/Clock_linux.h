#pragma once
// The machine's own clock behind IClock.

#include <cstdint>

#include "core/ports/Clock.h"

namespace sondrel {

class SystemClock final : public IClock {
 public:
  LocalDateTime now() const override;
  std::int64_t monotonicMs() const override;
  std::int64_t utcMicros() const override;
};

}  // namespace sondrel
