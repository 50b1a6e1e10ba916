#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <fstream>

#include "app/AppFixture.h"
#include "ping/PingRun.h"
#include "ping/ui/ParameterFrame.h"
#include "ping/ui/ResultsDisplay.h"

namespace sondrel {
namespace {

using namespace std::chrono_literals;

// A target that never answers, with a time-out of a minute: Stop must not
// leave the user waiting for it.
TEST(FormMainStop, StopDuringALongTimeOutReturnsTheWindowToIdleAtOnce) {
  QTemporaryDir base;
  ASSERT_TRUE(base.isValid());
  testing::FakeServices fakes;
  fakes.icmp->script("127.0.0.9", {.silent = true});
  testing::MainWindowUnderTest app(base.path().toStdString(), fakes);
  FormMain& w = *app.window;
  w.Form_Load();
  auto find = [&w](const char* name) { return w.findChild<QWidget*>(QString::fromLatin1(name)); };

  QLineEdit* timeOut = w.parameterFrame()->comboTimeOut()->lineEdit();
  timeOut->selectAll();
  QTest::keyClicks(timeOut, QStringLiteral("60000"));
  ASSERT_EQ(w.parameters().timeoutMs, 60000u);
  testing::PingTheseTargets(w, {"127.0.0.9"});

  QTest::mouseClick(static_cast<QPushButton*>(find("CommandStart")), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return fakes.icmp->waitForWaiting(1, 0ms); }, 5000));
  EXPECT_FALSE(find("CommandStart")->isEnabled());

  w.action(QStringLiteral("mnuStop"))->trigger();
  // Until the cancelled echo is back the window says that it is stopping.
  EXPECT_EQ(w.display()->LabelTittle2()->text().toStdString(), "   Stopping, Please wait ...");
  EXPECT_FALSE(find("CommandStop")->isEnabled());

  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.testRunning(); }, 2000))
      << "Stop waited for the time-out";
  for (const char* name : {"CommandStart", "Command3", "CommandStop", "Command4"})
    EXPECT_TRUE(find(name)->isEnabled()) << name;
  EXPECT_EQ(w.display()->LabelTittle2()->text().toStdString(),
            "Ping testing with 32 bytes of data:            1  IP ");
  EXPECT_EQ(w.pingRun()->rowCount(), 0) << "the cancelled echo was recorded";
  EXPECT_FALSE(w.display()->PingReport()->isVisibleTo(w.display())) << "a report of nothing";
  std::ifstream log(base.path().toStdString() + "/SondrelDataBas/Tolvane_DB3.txt", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, "1,1\r\n");

  // Exit is no longer refused.
  const auto messagesBefore = fakes.prompter->messages().size();
  w.action(QStringLiteral("mnuExit"))->trigger();
  EXPECT_EQ(app.exits, 1);
  EXPECT_EQ(fakes.prompter->messages().size(), messagesBefore);
}

}  // namespace
}  // namespace sondrel
