#pragma once
// The test parameters a ping run reads. The parameter lists of the main
// window own one instance; the run reads it at every pass, so a change takes
// effect on the next ping.

#include <cstdint>
#include <string>
#include <vector>

namespace sondrel {

enum class BufferMode { Single, Incremental, Multiple };

// How the echoes of one pass go out.
enum class PassMode {
  Together,  // all targets of a pass at once; the pass lasts one time-out at most
  OneByOne,  // one after the other, each waiting for its reply or time-out
};

struct PingParameters {
  std::uint32_t timeoutMs = 500;
  std::uint32_t intervalMs = 600;    // interval of the ping timer

  // Advanced interval: starts at intervalStart and moves by intervalStep (up
  // or down) after each pass until it reaches intervalLimit, then stays.
  bool advancedInterval = false;
  std::uint32_t intervalStart = 0;
  std::int32_t intervalStep = 0;
  std::uint32_t intervalLimit = 0;

  std::string sendData = std::string(32, ' ');  // the current send data
  std::int32_t size = 32;                       // its size in bytes

  BufferMode mode = BufferMode::Single;
  std::int32_t startSize = 32;                  // Incremental
  std::int32_t step = 32;                       // Incremental
  std::vector<std::int32_t> sizes;              // Multiple
  std::vector<std::string> sizeData;            // Multiple, the data of each size
  std::int32_t numberOfSizes = 1;
  std::int32_t pingsPerSize = 1;
  // Counts buffer settings applied; a run restarts its size cycle at the
  // first size when the count moves on.
  std::uint32_t bufferChanges = 0;

  std::int32_t pingsPerTarget = 0;  // 0: until stopped
  PassMode passMode = PassMode::Together;
};

}  // namespace sondrel
