// Test main for engine tests, which need an event loop but no windows:
// private runtime and data folders, and no QCoreApplication when only
// listing the tests.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdlib>

int main(int argc, char** argv) {
  ::testing::InitGoogleMock(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();

  // Keep Qt and the program away from the real home of whoever runs the tests.
  QTemporaryDir runtime;
  QTemporaryDir data;
  setenv("XDG_RUNTIME_DIR", qPrintable(runtime.path()), 1);
  setenv("XDG_DATA_HOME", qPrintable(data.path()), 1);

  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
