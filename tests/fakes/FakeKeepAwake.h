#pragma once
#include "ports/KeepAwake.h"

namespace sondrel::fakes {

class FakeKeepAwake final : public IKeepAwake {
 public:
  int holds = 0;
  int acquired = 0;
  void acquire() override { ++holds; ++acquired; }
  void release() override { --holds; }
};

}  // namespace sondrel::fakes
