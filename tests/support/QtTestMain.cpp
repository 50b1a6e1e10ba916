// Test main for everything that needs Qt: offscreen platform, private runtime
// and data folders, and no application object when only listing the tests.
// Engine tests are built with SONDREL_TEST_CORE_APP: an event loop, no windows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifdef SONDREL_TEST_CORE_APP
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#else
#include <QApplication>
using TestApplication = QApplication;
#endif
#include <QTemporaryDir>
#include <cstdlib>

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::testing::InitGoogleMock(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();

  // Keep Qt and the program away from the real home of whoever runs the tests.
  QTemporaryDir runtime;
  QTemporaryDir data;
  QTemporaryDir config;  // the settings the program keeps (the monitor window's layout)
  setenv("XDG_RUNTIME_DIR", qPrintable(runtime.path()), 1);
  setenv("XDG_DATA_HOME", qPrintable(data.path()), 1);
  setenv("XDG_CONFIG_HOME", qPrintable(config.path()), 1);

  TestApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
