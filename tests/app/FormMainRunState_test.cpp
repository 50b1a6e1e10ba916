#include <gtest/gtest.h>

#include <QAction>
#include <QPushButton>

#include "app/AppFixture.h"
#include "ping/PingRun.h"

namespace sondrel {
namespace {

// The window keeps no running flag of its own: what the run says is what the
// close rules and the start buttons go by, whichever side sets it.
TEST(FormMainRunState, TheWindowAndTheRunShareOneRunningFlag) {
  QTemporaryDir base;
  ASSERT_TRUE(base.isValid());
  testing::MainWindowUnderTest app(base.path().toStdString());
  FormMain& w = *app.window;
  w.Form_Load();
  auto* start = w.findChild<QPushButton*>(QStringLiteral("CommandStart"));
  ASSERT_NE(start, nullptr);
  QAction* exit = w.action(QStringLiteral("mnuExit"));
  ASSERT_NE(exit, nullptr);

  w.pingRun()->SetTestRunning();
  EXPECT_TRUE(w.testRunning());
  EXPECT_FALSE(start->isEnabled());
  exit->trigger();
  EXPECT_EQ(app.exits, 0);
  ASSERT_EQ(app.fakes.prompter->messages().size(), 1u);
  EXPECT_EQ(app.fakes.prompter->messages()[0].text.toStdString(),
            "Please click 'Stop' button to stop the testing first.");

  w.SetTestIdle();
  EXPECT_FALSE(w.pingRun()->testRunning());
  EXPECT_TRUE(start->isEnabled());
  exit->trigger();
  EXPECT_EQ(app.exits, 1);

  w.SetTestRunning();
  EXPECT_TRUE(w.pingRun()->testRunning());
  EXPECT_FALSE(start->isEnabled());
  w.pingRun()->SetTestIdle();
  EXPECT_FALSE(w.testRunning());
}

}  // namespace
}  // namespace sondrel
