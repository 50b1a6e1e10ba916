#pragma once
// Keeps the session from idling while a run or scan goes. Holds are counted:
// the inhibit is taken by the first acquire and dropped by the last release.

namespace sondrel {

class IKeepAwake {
 public:
  virtual ~IKeepAwake() = default;
  virtual void acquire() = 0;
  virtual void release() = 0;
};

}  // namespace sondrel
