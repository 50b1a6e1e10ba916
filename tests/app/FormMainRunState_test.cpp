#include <gtest/gtest.h>

#include <QAction>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <vector>

#include "app/AppFixture.h"
#include "ping/PingRun.h"

namespace sondrel {
namespace {

// The window keeps no running flag of its own: what the ping run's state
// says is what the close rules and the start buttons go by, through each of
// its states.
TEST(FormMainRunState, TheCloseRulesAndTheStartButtonsFollowTheRunsState) {
  QTemporaryDir base;
  ASSERT_TRUE(base.isValid());
  testing::FakeServices fakes;
  // An echo that takes long enough to see the run stopping.
  fakes.icmp->script("127.0.0.9", {.silent = true});
  testing::MainWindowUnderTest app(base.path().toStdString(), fakes);
  FormMain& w = *app.window;
  w.Form_Load();
  auto* start = w.findChild<QPushButton*>(QStringLiteral("CommandStart"));
  ASSERT_NE(start, nullptr);
  QAction* exit = w.action(QStringLiteral("mnuExit"));
  ASSERT_NE(exit, nullptr);
  std::vector<RunState> states;
  QObject::connect(w.pingRun(), &PingRun::stateChanged, [&](RunState s) { states.push_back(s); });

  testing::PingTheseTargets(w, {"127.0.0.9"});
  QTest::mouseClick(start, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return fakes.icmp->waitForWaiting(1, std::chrono::milliseconds(0)); }, 5000));
  EXPECT_TRUE(w.testRunning());
  EXPECT_FALSE(start->isEnabled());
  exit->trigger();
  EXPECT_EQ(app.exits, 0);
  ASSERT_EQ(app.fakes.prompter->messages().size(), 1u);
  EXPECT_EQ(app.fakes.prompter->messages()[0].text.toStdString(),
            "Please click 'Stop' button to stop the testing first.");

  w.action(QStringLiteral("mnuStop"))->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.testRunning(); }, 5000));
  EXPECT_TRUE(start->isEnabled());
  EXPECT_EQ(states, (std::vector<RunState>{RunState::Collecting, RunState::Running, RunState::Stopping,
                                           RunState::Idle}));
  exit->trigger();
  EXPECT_EQ(app.exits, 1);
}

}  // namespace
}  // namespace sondrel
