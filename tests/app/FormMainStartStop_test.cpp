#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "app/AppFixture.h"
#include "fakes/GateResolver.h"
#include "iplist/ui/TargetListPanel.h"
#include "ping/PingRun.h"
#include "ping/ui/ParameterFrame.h"
#include "ping/ui/ResultsDisplay.h"

namespace sondrel {
namespace {

constexpr int kWaitMs = 10000;

// The enabled state of the start and stop controls.
struct Controls {
  bool start, picture, scan, stop, pictureStop, menuStop, menuStart;
  friend bool operator==(const Controls&, const Controls&) = default;
};

std::ostream& operator<<(std::ostream& os, const Controls& c) {
  return os << "CommandStart=" << c.start << " Command3=" << c.picture << " Command8=" << c.scan
            << " CommandStop=" << c.stop << " Command4=" << c.pictureStop
            << " mnuStop=" << c.menuStop << " mnuStart=" << c.menuStart;
}

class FormMainStartStopTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(base_.isValid()); }
  void TearDown() override {
    if (gate_) gate_->open();
    window_.reset();
  }
  void Load(std::shared_ptr<IResolver> resolver = nullptr) {
    WindowServices services = fakes_.services();
    if (resolver) services.resolver = std::move(resolver);
    window_ = std::make_unique<FormMain>(services, base_.path().toStdString());
    window_->setExitHandler([this] { ++exits_; });
    window_->Form_Load();
    QComboBox* interval = w().parameterFrame()->comboInv();
    interval->setCurrentIndex(0);  // 10 ms
  }
  FormMain& w() { return *window_; }
  ResultsDisplay& d() { return *w().display(); }
  template <typename T>
  T* find(const char* name) {
    auto* found = w().findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  Controls controls() {
    return {find<QPushButton>("CommandStart")->isEnabled(),
            find<QToolButton>("Command3")->isEnabled(),
            find<QPushButton>("Command8")->isEnabled(),
            find<QPushButton>("CommandStop")->isEnabled(),
            find<QToolButton>("Command4")->isEnabled(),
            w().action(QStringLiteral("mnuStop"))->isEnabled(),
            w().action(QStringLiteral("mnuStart"))->isEnabled()};
  }
  void typeTarget(const char* text) {
    TargetListPanel* list = w().targetList();
    list->setCurrentIndex(-1);
    list->clearSelection();
    list->TextPing()->setText(QString::fromLatin1(text));
  }

  QTemporaryDir base_;
  testing::FakeServices fakes_;
  std::shared_ptr<fakes::GateResolver> gate_;
  std::unique_ptr<FormMain> window_;
  int exits_ = 0;
};

// The scan button goes with the start buttons: on when idle, off during a run.
const Controls kIdle{true, true, true, true, true, true, true};
const Controls kRunning{false, false, false, true, true, true, false};

TEST_F(FormMainStartStopTest, StartAndStopButtonsFollowARealRun) {
  fakes_.icmp->script("127.0.0.1", {0, 2000, 64});
  Load();
  EXPECT_EQ(controls(), kIdle);

  typeTarget("127.0.0.1");
  QTest::mouseClick(find<QToolButton>("Command3"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().pingRun()->rowCount() >= 2; }, kWaitMs));
  EXPECT_TRUE(w().testRunning());
  EXPECT_EQ(controls(), kRunning);

  QTest::mouseClick(find<QToolButton>("Command4"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, kWaitMs));
  EXPECT_EQ(controls(), kIdle);
  EXPECT_TRUE(d().PingReport()->isVisibleTo(&d()));
}

TEST_F(FormMainStartStopTest, StopWhileANameResolvesReturnsToIdleAndTheNextRunStops) {
  fakes_.icmp->script("127.0.0.1", {0, 2000, 64});
  gate_ = std::make_shared<fakes::GateResolver>();
  Load(gate_);

  typeTarget("held.lan");
  QTest::mouseClick(find<QPushButton>("CommandStart"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return gate_->waiting() == 1; }, kWaitMs));
  EXPECT_TRUE(w().testRunning());
  EXPECT_EQ(d().LabelTittle2()->text().toStdString(), "   Checking IP address, Please wait ...");

  // The lookup never answers; Stop alone must bring the window back.
  QTest::mouseClick(find<QPushButton>("CommandStop"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, 3000));
  EXPECT_EQ(controls(), kIdle);
  EXPECT_EQ(d().LabelTittle2()->text(), QString());
  EXPECT_EQ(w().pingRun()->rowCount(), 0);

  // A late answer for the abandoned start starts nothing. The collection
  // holds the resolver until it is done; whatever it posted is delivered by
  // one round of events after that.
  const long held = gate_.use_count();
  gate_->open();
  ASSERT_TRUE(QTest::qWaitFor([&] { return gate_.use_count() < held; }, kWaitMs));
  QCoreApplication::processEvents();
  EXPECT_FALSE(w().testRunning());
  EXPECT_TRUE(fakes_.icmp->requests().empty());

  // A "Continually" run afterwards can be stopped, and Exit works after it.
  typeTarget("127.0.0.1");
  QTest::mouseClick(find<QPushButton>("CommandStart"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().pingRun()->rowCount() >= 3; }, kWaitMs));
  EXPECT_EQ(controls(), kRunning);
  w().action(QStringLiteral("mnuStop"))->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, kWaitMs));
  EXPECT_EQ(controls(), kIdle);
  EXPECT_TRUE(fakes_.prompter->messages().isEmpty());
  w().action(QStringLiteral("mnuExit"))->trigger();
  EXPECT_EQ(exits_, 1);
}

TEST_F(FormMainStartStopTest, ANewBufferSettingDuringARunStartsItsCycleAtTheFirstSize) {
  fakes_.icmp->script("127.0.0.1", {0, 2000, 64});
  fakes_.icmp->script("127.0.0.2", {0, 2000, 64});
  Load();
  testing::PingTheseTargets(w(), {"127.0.0.1", "127.0.0.2"});
  QComboBox* size = w().parameterFrame()->comboSize();
  const int multiple = size->findText(QStringLiteral("16,32,64,1024  Bytes"));
  const int stepUp = size->findText(QStringLiteral("Step up with 32 Bytes"));
  ASSERT_GE(multiple, 0);
  ASSERT_GE(stepUp, 0);
  size->setCurrentIndex(multiple);
  Q_EMIT size->activated(multiple);

  QTest::mouseClick(find<QPushButton>("CommandStart"), Qt::LeftButton);
  // Well into the cycle (four passes of 16 bytes, then 32), hold a pass.
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().pingRun()->rowCount() >= 10; }, kWaitMs));
  fakes_.icmp->hold();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return static_cast<std::int64_t>(fakes_.icmp->requests().size()) >
               w().pingRun()->rowCount();
      },
      kWaitMs));
  const std::size_t first = fakes_.icmp->requests().size();

  size->setCurrentIndex(stepUp);
  Q_EMIT size->activated(stepUp);
  EXPECT_EQ(w().parameterFrame()->comboTimes()->currentText(), QStringLiteral("1000"));
  fakes_.icmp->release();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return w().pingRun()->rowCount() >= static_cast<std::int64_t>(first) + 6; }, kWaitMs));
  w().action(QStringLiteral("mnuStop"))->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, kWaitMs));

  // Each size of the new cycle goes to both targets, from 32 bytes on.
  const auto& records = w().pingRun()->data().records;
  ASSERT_GE(records.size(), first + 6);
  std::vector<std::int32_t> recorded;
  for (std::size_t i = first; i < first + 6; ++i) recorded.push_back(records[i].bufferSize);
  EXPECT_EQ(recorded, (std::vector<std::int32_t>{32, 32, 64, 64, 96, 96}));
  const auto requests = fakes_.icmp->requests();
  ASSERT_GE(requests.size(), first + 6);
  EXPECT_EQ(requests[first].data.size(), 32u);
  EXPECT_EQ(requests[first + 5].data.size(), 96u);
}

}  // namespace
}  // namespace sondrel
