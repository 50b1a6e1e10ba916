#pragma once
// A test that needs root, a network or mount namespace, an ICMP socket or a
// tool from the set-up skips where the machine lacks it. CI has all of them,
// so there the same lack is a fault of the machine or of the test and fails:
// a skip must never let a test of the network pass unseen.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace sondrel::testing {

// CI runs set CI (CI=true); an empty value, "0" or "false" is a developer's.
inline bool SkipsAreFailures() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && *ci != '\0' && std::strcmp(ci, "0") != 0 &&
         std::strcmp(ci, "false") != 0;
}

}  // namespace sondrel::testing

// Use as a statement: SONDREL_SKIP_MISSING("needs root" << detail);
#define SONDREL_SKIP_MISSING(why)                                       \
  do {                                                                  \
    if (::sondrel::testing::SkipsAreFailures()) {                       \
      FAIL() << "CI must be able to run this test, but: " << why;       \
    }                                                                   \
    GTEST_SKIP() << why;                                                \
  } while (0)
