// The runs window: every archived run listed, opened as the previous run,
// pinned and deleted, through the real main window.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <cstdio>
#include <filesystem>

#include "app/AppFixture.h"
#include "archive/RunArchive.h"
#include "archive/ui/RunsModel.h"
#include "archive/ui/RunsPresenter.h"
#include "archive/ui/RunsWindow.h"
#include "cli/CliExport.h"
#include "cli/CliOptions.h"
#include "cli/CliPing.h"
#include "cli/CliTestSupport.h"
#include "ping/PingRun.h"
#include "ping/ui/ParameterFrame.h"
#include "ping/ui/ResultsDisplay.h"
#include "report/ui/DialogRpt.h"
#include "report/ui/ReportPresenter.h"
#include "support/FileText.h"

namespace sondrel {
namespace {

namespace fs = std::filesystem;

using cli::clitest::ReadAll;

class FormMainRunsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base_.isValid());
    fakes_.icmp->script("127.0.0.1", {0, 1'500, 64});
    fakes_.icmp->script("127.0.0.2", {11010, 0, 0});
    fakes_.icmp->script("127.0.0.9", {0, 7'000, 60});
    app_ = std::make_unique<testing::MainWindowUnderTest>(base_.path().toStdString(), fakes_);
    w().Form_Load();
    QComboBox* interval = w().parameterFrame()->comboInv();
    interval->setCurrentIndex(0);
    Q_EMIT interval->activated(0);
  }
  FormMain& w() { return *app_->window; }
  std::string Folder() const { return base_.path().toStdString() + "/SondrelDataBas/"; }

  // One window run of `pings` to each of `targets`, to its end.
  std::vector<ResultRecord> RunOf(const std::vector<std::string>& targets, int pings) {
    testing::PingTheseTargets(w(), targets);
    w().parameterFrame()->comboTimes()->setEditText(QString::number(pings));
    QTest::mouseClick(w().findChild<QPushButton*>(QStringLiteral("CommandStart")), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w().testRunning(); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, 10000));
    return w().pingRun()->data().records;
  }
  // A run of the command line in the same data folder, beside the window.
  void CommandLineRun() {
    cli::CliServices services;
    services.clock = fakes_.clock;
    services.icmp = fakes_.icmp;
    services.resolver = fakes_.resolver;
    services.files = &SystemFiles();
    services.dataFolder = Folder();
    services.out = std::tmpfile();
    services.err = std::tmpfile();
    const cli::ParsedCommandLine p = cli::ParseCommandLine({"ping", "-i", "5", "-c", "2", "127.0.0.9"});
    ASSERT_TRUE(p.ok()) << p.error;
    EXPECT_EQ(cli::RunPing(p.options, services), 0) << ReadAll(services.err);
    std::fclose(services.out);
    std::fclose(services.err);
  }
  // What "sondrel-cli export --run ID" writes.
  std::string CommandLineExport(std::int64_t id) {
    cli::ExportOptions o;
    o.runId = id;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    EXPECT_EQ(cli::RunExport(o, Folder(), SystemFiles(), out, err), 0) << ReadAll(err);
    const std::string bytes = ReadAll(out);
    std::fclose(out);
    std::fclose(err);
    return bytes;
  }

  RunsPresenter& Runs() { return *w().runsPresenter(); }
  RunsWindow& OpenRunsWindow() {
    w().action(QStringLiteral("mnuRuns"))->trigger();
    EXPECT_NE(Runs().window(), nullptr);
    return *Runs().window();
  }
  RunsModel& Model() { return *Runs().model(); }
  QString Cell(int row, int column) { return Model().index(row, column).data().toString(); }
  void Click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
  // Opens the listed run in `row` and waits until the window shows it.
  void OpenRow(int row) {
    RunsWindow& rw = *Runs().window();
    rw.table()->selectRow(row);
    const std::int64_t id = Model().runAt(row)->id;
    ASSERT_TRUE(rw.openButton()->isEnabled());
    Click(rw.openButton());
    ASSERT_TRUE(QTest::qWaitFor([&] { return w().pingRun()->data().archiveRun == id; }, 10000));
  }

  QTemporaryDir base_;
  testing::FakeServices fakes_;
  std::unique_ptr<testing::MainWindowUnderTest> app_;
};

TEST_F(FormMainRunsTest, WindowAndCommandLineRunsAreListedAndAnOpenedRunIsShownAndExportedAsTheCommandLineDoes) {
  const std::vector<ResultRecord> first = RunOf({"127.0.0.1", "127.0.0.2"}, 3);
  RunOf({"127.0.0.1", "127.0.0.2"}, 2);
  CommandLineRun();

  RunsWindow& rw = OpenRunsWindow();
  EXPECT_TRUE(rw.isVisible());
  ASSERT_EQ(Model().rowCount(), 3);
  EXPECT_EQ(rw.countLabel()->text(), QStringLiteral("3 runs"));
  // Newest first: the command line's, then the window's two.
  EXPECT_EQ(Cell(0, RunsModel::RanBy), QStringLiteral("command line"));
  EXPECT_EQ(Cell(0, RunsModel::FirstTargets), QStringLiteral("127.0.0.9"));
  for (int row : {1, 2}) {
    EXPECT_EQ(Cell(row, RunsModel::RanBy), QStringLiteral("window"));
    EXPECT_EQ(Cell(row, RunsModel::EndedBy), QStringLiteral("count reached"));
    EXPECT_EQ(Cell(row, RunsModel::FirstTargets), QStringLiteral("127.0.0.1, 127.0.0.2"));
  }
  EXPECT_EQ(Cell(2, RunsModel::Sent), QStringLiteral("6"));
  EXPECT_EQ(Cell(2, RunsModel::Lost), QStringLiteral("3"));
  EXPECT_EQ(Cell(2, RunsModel::LossRate), QStringLiteral("50.00 %"));

  // The first run becomes the previous run of the main window.
  OpenRow(2);
  const std::int64_t firstId = Model().runAt(2)->id;
  const RunData& shown = w().pingRun()->data();
  ASSERT_EQ(shown.records.size(), first.size());
  for (std::size_t k = 0; k < first.size(); ++k) {
    EXPECT_EQ(shown.records[k].time, first[k].time) << k;
    EXPECT_EQ(shown.records[k].target, first[k].target) << k;
  }
  EXPECT_EQ(shown.stats.sent, 6);
  EXPECT_EQ(shown.stats.lost, 3);
  w().display()->flush();
  EXPECT_EQ(w().display()->LabelTittle2()->text(), QString::fromLatin1(kPreviousRunTitle));
  EXPECT_TRUE(w().display()->visibleText().contains(QStringLiteral("50.00 %")))
      << w().display()->visibleText().toStdString();

  // Its export is the command line's export of that run, byte for byte, and
  // leaves the log (which holds the command line's run) alone.
  const std::string logBefore = testing_files::ReadFile(Folder() + "Tolvane_DB3.txt");
  ASSERT_FALSE(logBefore.empty());
  const QString out = base_.path() + QStringLiteral("/opened.txt");
  fakes_.prompter->formats = {QStringLiteral("TEXT")};
  fakes_.prompter->paths = {out};
  w().action(QStringLiteral("mnuExport"))->trigger();
  EXPECT_EQ(testing_files::ReadFile(out.toStdString()), CommandLineExport(firstId));
  EXPECT_EQ(testing_files::ReadFile(Folder() + "Tolvane_DB3.txt"), logBefore);
  const auto boxes = fakes_.prompter->messages();
  ASSERT_FALSE(boxes.isEmpty());
  EXPECT_EQ(boxes.back().caption, QStringLiteral("File Saved"));
  EXPECT_TRUE(boxes.back().text.endsWith(QStringLiteral("The run stays in the run archive as run %1: %2")
                                             .arg(firstId)
                                             .arg(QString::fromStdString(Folder() + kArchiveFile))))
      << boxes.back().text.toStdString();
  EXPECT_FALSE(boxes.back().text.contains(QStringLiteral("deleted"))) << boxes.back().text.toStdString();

  // Ping again: the new run is shown, listed and reported, not the opened one.
  RunOf({"127.0.0.9"}, 1);
  EXPECT_EQ(w().pingRun()->data().archiveRun, 0);
  EXPECT_EQ(Model().rowCount(), 4) << "the list follows a run that ended";
  EXPECT_EQ(Cell(0, RunsModel::Sent), QStringLiteral("1"));
  w().action(QStringLiteral("mnuReport"))->trigger();
  DialogRpt* report = w().reportPresenter()->dialog();
  ASSERT_NE(report, nullptr);
  QTest::mouseClick(report->findChild<QPushButton*>(QStringLiteral("CommandBUild")), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !report->busy(); }, 10000));
  QString reported;
  for (int i = 0; i < 6; ++i)
    for (int k = 0; k < report->List1(i)->count(); ++k) reported += report->List1(i)->item(k)->text() + '\n';
  EXPECT_TRUE(reported.contains(QStringLiteral("127.0.0.9"))) << reported.toStdString();
  EXPECT_FALSE(reported.contains(QStringLiteral("127.0.0.2"))) << reported.toStdString();
  report->close();
}

TEST_F(FormMainRunsTest, TheDocumentedExportDeletesTheLogAndSaysTheRunStaysInTheArchive) {
  RunOf({"127.0.0.1"}, 2);
  const QString out = base_.path() + QStringLiteral("/live.txt");
  fakes_.prompter->formats = {QStringLiteral("TEXT")};
  fakes_.prompter->paths = {out};
  w().action(QStringLiteral("mnuExport"))->trigger();
  EXPECT_FALSE(fs::exists(Folder() + "Tolvane_DB3.txt"));
  const auto boxes = fakes_.prompter->messages();
  ASSERT_FALSE(boxes.isEmpty());
  const QString expected = QStringLiteral("Ping test result has export to file: \r\n\r\n") + out +
                           QStringLiteral("\r\n\r\nThe ping test log ") +
                           QString::fromStdString(Folder() + "Tolvane_DB3.txt") +
                           QStringLiteral(" was deleted.\r\n\r\nThe run stays in the run archive as run 1: ") +
                           QString::fromStdString(Folder() + kArchiveFile);
  EXPECT_EQ(boxes.back().text, expected);
}

TEST_F(FormMainRunsTest, RunsArePinnedFilteredAndDeletedOnlyWhenTheUserSaysYes) {
  RunOf({"127.0.0.1"}, 1);
  RunOf({"127.0.0.2"}, 1);
  RunsWindow& rw = OpenRunsWindow();
  ASSERT_EQ(Model().rowCount(), 2);
  EXPECT_FALSE(rw.deleteButton()->isEnabled()) << "nothing selected";

  rw.table()->selectRow(1);
  Click(rw.pinButton());
  ASSERT_EQ(Model().rowCount(), 2);
  EXPECT_EQ(Cell(1, RunsModel::Pinned), QStringLiteral("pinned"));
  EXPECT_EQ(rw.pinButton()->text(), QStringLiteral("Un&pin")) << "the pinned run stays selected";
  Click(rw.pinButton());
  EXPECT_EQ(Cell(1, RunsModel::Pinned), QString());

  rw.filterText()->setText(QStringLiteral("0.0.2"));
  ASSERT_EQ(Model().rowCount(), 1);
  EXPECT_EQ(Cell(0, RunsModel::FirstTargets), QStringLiteral("127.0.0.2"));
  EXPECT_EQ(rw.countLabel()->text(), QStringLiteral("1 run matches"));
  rw.filterText()->clear();
  ASSERT_EQ(Model().rowCount(), 2);

  rw.table()->selectRow(0);
  fakes_.prompter->answers = {IPrompter::Answer::No};
  Click(rw.deleteButton());
  EXPECT_EQ(Model().rowCount(), 2) << "kept when the user says no";
  const auto asked = fakes_.prompter->messages();
  ASSERT_FALSE(asked.isEmpty());
  EXPECT_TRUE(asked.back().text.startsWith(QStringLiteral("Delete the run started "))) << asked.back().text.toStdString();
  EXPECT_TRUE(asked.back().text.endsWith(QStringLiteral("(1 targets, 1 sent) from the run archive? This cannot be undone.")))
      << asked.back().text.toStdString();

  rw.table()->selectRow(0);
  fakes_.prompter->answers = {IPrompter::Answer::Yes};
  Click(rw.deleteButton());
  ASSERT_EQ(Model().rowCount(), 1);
  EXPECT_EQ(Cell(0, RunsModel::FirstTargets), QStringLiteral("127.0.0.1"));
  auto archive = RunArchive::open(SystemFiles(), Folder() + kArchiveFile, ArchiveAccess::ReadOnly);
  ASSERT_TRUE(archive) << archive.error().message;
  EXPECT_EQ(archive.value()->countRuns({}).value(), 1);
}

TEST_F(FormMainRunsTest, NoRunIsOpenedWhileARunGoes) {
  RunOf({"127.0.0.1"}, 1);
  RunsWindow& rw = OpenRunsWindow();
  rw.table()->selectRow(0);
  EXPECT_TRUE(rw.openButton()->isEnabled());
  testing::PingTheseTargets(w(), {"127.0.0.1"});
  w().parameterFrame()->comboTimes()->setEditText(QStringLiteral("100000"));  // until stopped
  QTest::mouseClick(w().findChild<QPushButton*>(QStringLiteral("CommandStart")), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().pingRun()->rowCount() >= 2; }, 10000));
  EXPECT_FALSE(rw.openButton()->isEnabled());
  w().CommandStop_Click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, 10000));
  rw.table()->selectRow(0);
  EXPECT_TRUE(rw.openButton()->isEnabled());
  EXPECT_EQ(Cell(0, RunsModel::EndedBy), QStringLiteral("stopped"));
}

// Thousands of runs: the list reads them a page at a time, in the order and
// with the filter the archive applies.
TEST(RunsModelPages, ThousandsOfRunsAreReadAPageAtATimeSortedByTheArchive) {
  QTemporaryDir dir;
  auto opened = RunArchive::open(SystemFiles(), dir.path().toStdString() + "/runs.sqlite", ArchiveAccess::ReadWrite);
  ASSERT_TRUE(opened) << opened.error().message;
  RunArchive& archive = *opened.value();
  constexpr int kRuns = 1000;
  for (int k = 0; k < kRuns; ++k) {
    ArchiveRunStart start;
    start.startUtcUs = (1'800'000'000LL + k * 60) * 1'000'000;
    start.startLocal = {2027, 1, 15, 8, 0, 0, 0};
    start.addresses = {k % 2 ? "10.0.0.1" : "10.0.0.2"};
    auto id = archive.beginRun(start);
    ASSERT_TRUE(id) << id.error().message;
    std::vector<ArchiveResult> results(static_cast<std::size_t>(k % 7 + 1));
    for (std::size_t p = 0; p < results.size(); ++p) {
      results[p].record.when = ResultTime::from({2027, 1, 15, 8, 0, 1});
      results[p].record.time = p % 2 ? -1 : 3;
      results[p].pass = static_cast<std::uint32_t>(p);
      results[p].sentUtcUs = start.startUtcUs + static_cast<std::int64_t>(p) * 1000;
    }
    ASSERT_TRUE(archive.appendResults(id.value(), results));
    ASSERT_TRUE(archive.endRun(id.value(), RunEnding::CountReached, start.startUtcUs + 10'000'000, start.startLocal));
  }

  RunsModel model;
  model.setArchive(&archive);
  EXPECT_EQ(model.total(), kRuns);
  EXPECT_EQ(model.rowCount(), RunsModel::kPage);
  EXPECT_EQ(model.runAt(0)->id, kRuns) << "newest first";
  int pulls = 0;
  while (model.canFetchMore({}) && pulls++ < kRuns) model.fetchMore({});
  ASSERT_EQ(model.rowCount(), kRuns);
  for (int row = 1; row < kRuns; ++row) ASSERT_GT(model.runAt(row - 1)->startUtcUs, model.runAt(row)->startUtcUs);

  model.sort(RunsModel::Sent, Qt::AscendingOrder);
  EXPECT_EQ(model.rowCount(), RunsModel::kPage) << "sorting reads the first page again";
  EXPECT_EQ(model.runAt(0)->sent, 1);
  EXPECT_EQ(model.runAt(RunsModel::kPage - 1)->sent, 2) << "1000/7 runs of each size";
  model.sort(RunsModel::LossRate, Qt::DescendingOrder);
  EXPECT_EQ(model.index(0, RunsModel::LossRate).data().toString(), QStringLiteral("50.00 %"));

  model.setFilter({"10.0.0.1", {}, {}});
  EXPECT_EQ(model.total(), kRuns / 2);
  for (int row = 0; row < model.rowCount(); ++row) ASSERT_EQ(model.runAt(row)->id % 2, 0) << row;
}

}  // namespace
}  // namespace sondrel
