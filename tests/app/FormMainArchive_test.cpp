// The window keeps every run in the run archive: each run whole, as the
// window showed it, beside the log of the last one.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/AppFixture.h"
#include "archive/RunArchive.h"
#include "ping/PingRun.h"
#include "ping/ui/ParameterFrame.h"
#include "platform/Files_linux.h"

namespace sondrel {
namespace {

namespace fs = std::filesystem;

bool SameRecord(const ResultRecord& a, const ResultRecord& b) {
  return a.when.year == b.when.year && a.when.month == b.when.month && a.when.day == b.when.day &&
         a.when.hour == b.when.hour && a.when.minute == b.when.minute && a.when.second == b.when.second &&
         a.target == b.target && a.bufferSize == b.bufferSize && a.time == b.time && a.status == b.status &&
         a.ttl == b.ttl;
}

class FormMainArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base_.isValid());
    fakes_.icmp->script("127.0.0.1", {0, 2'345, 64});
    fakes_.icmp->script("127.0.0.2", {11010, 0, 0});
    app_ = std::make_unique<testing::MainWindowUnderTest>(base_.path().toStdString(), fakes_);
    app_->window->Form_Load();
    testing::PingTheseTargets(w(), {"127.0.0.1", "127.0.0.2"});
    QComboBox* interval = w().parameterFrame()->comboInv();
    interval->setCurrentIndex(0);
    Q_EMIT interval->activated(0);
  }
  FormMain& w() { return *app_->window; }
  // One run of `pings` to its end; its records as the window has them.
  std::vector<ResultRecord> RunOf(int pings) {
    w().parameterFrame()->comboTimes()->setEditText(QString::number(pings));
    QTest::mouseClick(w().findChild<QPushButton*>(QStringLiteral("CommandStart")), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w().testRunning(); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, 10000));
    return w().pingRun()->data().records;
  }
  std::string ArchivePath() const { return base_.path().toStdString() + "/SondrelDataBas/" + kArchiveFile; }
  QTemporaryDir base_;
  testing::FakeServices fakes_;
  std::unique_ptr<testing::MainWindowUnderTest> app_;
};

TEST_F(FormMainArchiveTest, EveryRunOfTheWindowIsKeptWholeWithTheCarriersTimes) {
  EXPECT_FALSE(fs::exists(ArchivePath())) << "no archive before the first run";
  const std::vector<ResultRecord> first = RunOf(3);
  const std::vector<ResultRecord> second = RunOf(2);
  ASSERT_EQ(first.size(), 6u);
  ASSERT_EQ(second.size(), 4u);
  app_.reset();  // the window closes; the archive has taken everything

  auto opened = RunArchive::open(SystemFiles(), ArchivePath(), ArchiveAccess::ReadOnly);
  ASSERT_TRUE(opened) << opened.error().message;
  RunArchive& archive = *opened.value();
  auto runs = archive.listRuns(RunFilter{}, 0, 10);
  ASSERT_TRUE(runs);
  ASSERT_EQ(runs.value().size(), 2u);
  const RunSummary& newest = runs.value()[0];
  const RunSummary& oldest = runs.value()[1];
  EXPECT_EQ(oldest.sent, 6);
  EXPECT_EQ(oldest.lost, 3);
  EXPECT_EQ(newest.sent, 4);
  for (const RunSummary& r : runs.value()) {
    EXPECT_EQ(r.origin, RunOrigin::Window);
    EXPECT_EQ(r.ending, RunEnding::CountReached);
    EXPECT_EQ(r.targetCount, 2);
    EXPECT_EQ(r.firstLabels, (std::vector<std::string>{"127.0.0.1", "127.0.0.2"}));
  }

  for (const auto& [summary, shown] : {std::pair{oldest, first}, std::pair{newest, second}}) {
    auto loaded = archive.loadRun(summary.id);
    ASSERT_TRUE(loaded) << loaded.error().message;
    ASSERT_EQ(loaded.value().records.size(), shown.size());
    for (std::size_t k = 0; k < shown.size(); ++k)
      EXPECT_TRUE(SameRecord(loaded.value().records[k], shown[k])) << "record " << k;
  }
  // The carrier's microseconds are kept, not the display's whole milliseconds.
  auto echoes = archive.echoesOf(oldest.id, 0, 0, std::numeric_limits<std::int64_t>::max());
  ASSERT_TRUE(echoes);
  ASSERT_EQ(echoes.value().size(), 3u);
  for (const ArchivedEcho& e : echoes.value()) EXPECT_EQ(e.roundTripUs, 2'345);
  auto lost = archive.echoesOf(oldest.id, 1, 0, std::numeric_limits<std::int64_t>::max());
  ASSERT_TRUE(lost);
  ASSERT_EQ(lost.value().size(), 3u);
  EXPECT_EQ(lost.value()[0].roundTripUs, -1);
  EXPECT_EQ(lost.value()[2].pass, 2u);
}

// At the archive's first start, the run the log holds is kept as imported,
// with the log's millisecond times; a second start imports nothing more.
TEST(FormMainArchiveImport, TheLoggedRunIsImportedOnceAtTheArchivesFirstStart) {
  QTemporaryDir base;
  const std::string folder = base.path().toStdString() + "/SondrelDataBas/";
  fs::create_directories(folder);
  {
    std::ofstream(folder + "Tolvane_DB3.txt", std::ios::binary)
        << "2,1\r\n2026,03,07,14,05,09,10.9.9.9,32,5,64,0\r\n2026,03,07,14,05,09,10.9.9.8,32,-1,0,11010\r\n"
           "2026,03,07,14,05,10,10.9.9.9,32,0,64,0\r\n";
    std::ofstream(folder + "Tolvane_DB4.txt", std::ios::binary) << "first\r\nsecond\r\n";
  }
  for (int start = 0; start < 2; ++start) {
    testing::MainWindowUnderTest app(base.path().toStdString());
    app.window->Form_Load();
    ASSERT_TRUE(QTest::qWaitFor([&] { return app.window->pingRun()->rowCount() == 3; }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(folder + kArchiveFile); }, 10000));
  }
  auto opened = RunArchive::open(SystemFiles(), folder + kArchiveFile, ArchiveAccess::ReadOnly);
  ASSERT_TRUE(opened) << opened.error().message;
  auto runs = opened.value()->listRuns(RunFilter{}, 0, 10);
  ASSERT_TRUE(runs);
  ASSERT_EQ(runs.value().size(), 1u) << "imported once";
  const RunSummary& run = runs.value()[0];
  EXPECT_EQ(run.origin, RunOrigin::Imported);
  EXPECT_EQ(run.startLocal, "2026-03-07 14:05:09");
  EXPECT_EQ(run.sent, 3);
  EXPECT_EQ(run.lost, 1);
  EXPECT_EQ(run.firstLabels, (std::vector<std::string>{"first", "second"}));
  auto echoes = opened.value()->echoesOf(run.id, 0, 0, std::numeric_limits<std::int64_t>::max());
  ASSERT_TRUE(echoes);
  ASSERT_EQ(echoes.value().size(), 2u);
  EXPECT_EQ(echoes.value()[0].roundTripUs, 5000);
}

}  // namespace
}  // namespace sondrel
