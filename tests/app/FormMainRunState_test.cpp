#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <vector>

#include "app/AppFixture.h"
#include "ping/PingRun.h"
#include "ping/ui/ParameterFrame.h"

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

// A reader added from outside the engine gets every result of a run started
// from the window, as the run's own display shows them.
TEST(FormMainRunState, AReaderAddedToTheRunGetsEveryResultTheWindowShows) {
  QTemporaryDir base;
  ASSERT_TRUE(base.isValid());
  testing::FakeServices fakes;
  fakes.icmp->script("127.0.0.1", {0, 2'500, 64});
  fakes.icmp->script("127.0.0.2", {0, 900, 64});
  testing::MainWindowUnderTest app(base.path().toStdString(), fakes);
  FormMain& w = *app.window;
  w.Form_Load();
  struct Reader final : RunReader {
    std::vector<std::uint32_t> roundTrips;
    int ended = 0;
    void resultAdded(std::int64_t, const ResultRecord&, const EchoDetail& echo) override {
      roundTrips.push_back(echo.roundTripUs);
    }
    void runEnded(const RunData&, RunEnd) override { ++ended; }
  } reader;
  w.pingRun()->addReader(&reader);
  testing::PingTheseTargets(w, {"127.0.0.1", "127.0.0.2"});
  w.parameterFrame()->comboTimes()->setEditText(QStringLiteral("3"));
  ASSERT_EQ(w.parameters().pingsPerTarget, 3);
  QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("CommandStart")), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return reader.ended == 1; }, 10000));
  EXPECT_EQ(w.pingRun()->rowCount(), 6);
  EXPECT_EQ(reader.roundTrips, (std::vector<std::uint32_t>{2500, 900, 2500, 900, 2500, 900}));
  w.pingRun()->removeReader(&reader);
}

}  // namespace
}  // namespace sondrel
