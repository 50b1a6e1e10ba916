// Export, Open and the list copies of the File menu, driven through the real
// window with the prompter and launcher fakes; files are real, in temporary
// folders.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/AppFixture.h"
#include "fakes/FailingFiles.h"
#include "iplist/ui/TargetListPanel.h"
#include "ping/ui/ParameterFrame.h"
#include "ping/ui/ResultsDisplay.h"
#include "platform/Files_linux.h"
#include "ping/RunLog.h"
#include "support/ExportSample.h"
#include "support/FileText.h"

namespace sondrel {
namespace {

namespace fs = std::filesystem;
using testing_files::ReadFile;
using Answer = IPrompter::Answer;

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class FormMainExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base_.isValid());
    folder_ = base_.path().toStdString() + "/SondrelDataBas/";
    out_ = base_.path() + QStringLiteral("/out");
    fs::create_directories(folder_);
    fs::create_directories(out_.toStdString());
    fakes_.icmp->script("127.0.0.1", {0, 2000, 64});
  }
  void Load() {
    app_ = std::make_unique<testing::MainWindowUnderTest>(base_.path().toStdString(), fakes_);
    app_->window->Form_Load();
  }
  // Starts on the sample run as the previous run; true once it shows.
  bool LoadWithPreviousRun() {
    WriteFile(logPath(), testing_export::kSampleLog);
    WriteFile(folder_ + "Tolvane_DB4.txt", testing_export::kSampleTargets);
    Load();
    return QTest::qWaitFor(
        [&] {
          return w().display()->LabelTittle2()->text() == QStringLiteral("Previous Ping Test Result");
        },
        10000);
  }
  void ClickExport() {
    QTest::mouseClick(w().findChild<QPushButton*>(QStringLiteral("CommandExport")), Qt::LeftButton);
  }
  QList<fakes::FakePrompter::Call> Calls(const char* kind) const {
    QList<fakes::FakePrompter::Call> out;
    for (const auto& c : fakes_.prompter->calls)
      if (c.kind == QLatin1String(kind)) out.push_back(c);
    return out;
  }
  std::string logPath() const { return folder_ + "Tolvane_DB3.txt"; }
  QString OutPath(const char* name) const { return out_ + QLatin1Char('/') + QLatin1String(name); }
  FormMain& w() { return *app_->window; }

  QTemporaryDir base_;
  std::string folder_;
  QString out_;
  testing::FakeServices fakes_;
  std::unique_ptr<testing::MainWindowUnderTest> app_;
};

TEST_F(FormMainExportTest, TextExportOfAReloadedRunWritesItAndThenDeletesTheLog) {
  ASSERT_TRUE(LoadWithPreviousRun());
  fakes_.prompter->formats = {QStringLiteral("TEXT")};
  fakes_.prompter->paths = {OutPath("run")};  // the dialog adds the extension
  ClickExport();

  const auto exports = Calls("export");
  ASSERT_EQ(exports.size(), 1);
  EXPECT_EQ(exports[0].text, QStringLiteral("PING"));
  const auto saves = Calls("save");
  ASSERT_EQ(saves.size(), 1);
  EXPECT_EQ(saves[0].caption, QStringLiteral("Ping Test result will be export to this File"));
  // No row has been shown live since start-up: the run's last record
  // (03/07 14:05:02) names it.
  EXPECT_TRUE(saves[0].text.endsWith(QStringLiteral("/Ping_Test_Log_03071405|Text Files (*.txt)")))
      << saves[0].text.toStdString();
  EXPECT_EQ(ReadFile(OutPath("run.txt").toStdString()), testing_export::kSampleText);
  EXPECT_FALSE(fs::exists(logPath()));
  EXPECT_FALSE(fs::exists(folder_ + "Tolvane_DB4.txt"));
  const auto boxes = fakes_.prompter->messages();
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_EQ(boxes[0].caption, QStringLiteral("File Saved"));
  // The confirmation names the log it deleted and the archive that keeps
  // the run (imported at the archive's first start).
  EXPECT_EQ(boxes[0].text, QStringLiteral("Ping test result has export to file: \r\n\r\n") + OutPath("run.txt") +
                               QStringLiteral("\r\n\r\nThe ping test log ") + QString::fromStdString(logPath()) +
                               QStringLiteral(" was deleted.\r\n\r\nThe run stays in the run archive as run 1: ") +
                               QString::fromStdString(folder_ + "Sondrel.sqlite"));
}

TEST_F(FormMainExportTest, CsvExportOfALiveRunIsNamedByItsLastRow) {
  Load();
  testing::PingTheseTargets(w(), {"127.0.0.1"});
  w().parameterFrame()->comboTimes()->setEditText(QStringLiteral("2"));
  QTest::mouseClick(w().findChild<QPushButton*>(QStringLiteral("CommandStart")), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().pingRun()->rowCount() == 2 && !w().testRunning(); }, 10000));

  fakes_.prompter->formats = {QStringLiteral("CSV")};
  fakes_.prompter->paths = {OutPath("live.csv")};
  ClickExport();
  const auto saves = Calls("save");
  ASSERT_EQ(saves.size(), 1);
  // The fake clock reads 2026-03-07 14:05:09.
  EXPECT_TRUE(saves[0].text.endsWith(QStringLiteral("/Ping_Test_Log_03071405|Text Files (*.csv)")))
      << saves[0].text.toStdString();
  const std::string csv = ReadFile(OutPath("live.csv").toStdString());
  EXPECT_NE(csv.find("\r\n1.,2026,03,07,14,05,09,127.0.0.1,32,2,64,ip success\r\n"
                     "2.,2026,03,07,14,05,09,127.0.0.1,32,2,64,ip success\r\n  \r\n \r\n"),
            std::string::npos)
      << csv;
  // The window's own run was exported: its log goes.
  EXPECT_FALSE(fs::exists(logPath()));
}

// Another program logs a run of its own in the data folder, as
// "sondrel-cli ping" does; its log bytes.
std::string LogAnotherRun(const std::string& folder) {
  RunLog other(folder, SystemFiles());
  EXPECT_TRUE(other.StartRunLog(1, 1, {"127.0.0.9"}));
  ResultRecord r;
  r.when = ResultTime::from({2026, 3, 8, 9, 30, 0});
  r.bufferSize = 32;
  r.time = 7;
  r.ttl = 64;
  EXPECT_TRUE(other.AppendResult(r, "127.0.0.9"));
  other.CloseRunLog();
  return ReadFile(other.logPath());
}

TEST_F(FormMainExportTest, AnExportKeepsARunLoggedSinceTheWindowReadItsOwn) {
  ASSERT_TRUE(LoadWithPreviousRun());
  const std::string newer = LogAnotherRun(folder_);
  ASSERT_FALSE(newer.empty());

  fakes_.prompter->formats = {QStringLiteral("TEXT")};
  fakes_.prompter->paths = {OutPath("run.txt")};
  ClickExport();
  EXPECT_EQ(ReadFile(OutPath("run.txt").toStdString()), testing_export::kSampleText);
  EXPECT_EQ(ReadFile(logPath()), newer) << "the newer run was never exported";
  EXPECT_EQ(ReadFile(folder_ + "Tolvane_DB4.txt"), "127.0.0.9\r\n");
  auto boxes = fakes_.prompter->messages();
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_EQ(boxes[0].caption, QStringLiteral("File Saved"));
  EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral("Ping test result has export to file: \r\n\r\n") +
                                       OutPath("run.txt")));
  EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("was kept")) &&
              boxes[0].text.contains(QStringLiteral("newer ping test")))
      << boxes[0].text.toStdString();

  // The same after a run of the window's own.
  testing::PingTheseTargets(w(), {"127.0.0.1"});
  w().parameterFrame()->comboTimes()->setEditText(QStringLiteral("1"));
  QTest::mouseClick(w().findChild<QPushButton*>(QStringLiteral("CommandStart")), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().pingRun()->rowCount() == 1 && !w().testRunning(); }, 10000));
  const std::string newest = LogAnotherRun(folder_);
  fakes_.prompter->formats = {QStringLiteral("TEXT")};
  fakes_.prompter->paths = {OutPath("own.txt")};
  ClickExport();
  EXPECT_NE(ReadFile(OutPath("own.txt").toStdString()).find("Reply from 127.0.0.1"), std::string::npos);
  EXPECT_EQ(ReadFile(logPath()), newest);
  boxes = fakes_.prompter->messages();
  ASSERT_EQ(boxes.size(), 2);
  EXPECT_TRUE(boxes[1].text.contains(QStringLiteral("was kept")));
}

TEST_F(FormMainExportTest, CsvLabelsThatASpreadsheetWouldRunAreGuarded) {
  WriteFile(logPath(), testing_export::kSampleLog);
  // The last label also lacks its line end: the target file is written whole.
  WriteFile(folder_ + "Tolvane_DB4.txt", "=1+2 / 127.0.0.1\r\nx,@SUM(1) / 127.0.0.2");
  Load();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().pingRun()->rowCount() == 4; }, 10000));
  fakes_.prompter->formats = {QStringLiteral("CSV"), QStringLiteral("TEXT")};
  fakes_.prompter->paths = {OutPath("guard.csv"), OutPath("plain.txt")};
  ClickExport();
  const std::string csv = ReadFile(OutPath("guard.csv").toStdString());
  EXPECT_NE(csv.find("\r\n1.,2026,03,07,14,05,01,'=1+2 / 127.0.0.1,32,15,64,ip success\r\n"),
            std::string::npos)
      << csv;
  EXPECT_NE(csv.find("\r\n2.,2026,03,07,14,05,02,x,'@SUM(1) / 127.0.0.2,32,3,128,ip success\r\n"),
            std::string::npos)
      << csv;
  EXPECT_EQ(csv.find(",=1"), std::string::npos);
  // The text export is no spreadsheet: its labels stay as they are.
  ClickExport();
  const std::string text = ReadFile(OutPath("plain.txt").toStdString());
  EXPECT_NE(text.find("Ping  =1+2 / 127.0.0.1:"), std::string::npos) << text;
  EXPECT_NE(text.find("Ping  x,@SUM(1) / 127.0.0.2:"), std::string::npos) << text;
}

TEST_F(FormMainExportTest, CancelAtEachStepWritesAndDeletesNothing) {
  ASSERT_TRUE(LoadWithPreviousRun());
  ClickExport();  // the format dialog cancelled
  EXPECT_TRUE(Calls("save").isEmpty());

  fakes_.prompter->formats = {QStringLiteral("TEXT")};
  ClickExport();  // the save dialog cancelled
  EXPECT_EQ(Calls("save").size(), 1);

  EXPECT_TRUE(fs::is_empty(out_.toStdString()));
  EXPECT_TRUE(fs::exists(logPath()));
  EXPECT_TRUE(fakes_.prompter->messages().isEmpty());
}

TEST_F(FormMainExportTest, AnExistingFileIsReplacedOnlyAfterYes) {
  ASSERT_TRUE(LoadWithPreviousRun());
  const QString path = OutPath("same.csv");
  WriteFile(path.toStdString(), "old\r\n");

  fakes_.prompter->formats = {QStringLiteral("CSV")};
  fakes_.prompter->paths = {path};
  fakes_.prompter->answers = {Answer::No};
  ClickExport();
  EXPECT_EQ(ReadFile(path.toStdString()), "old\r\n");
  EXPECT_TRUE(fs::exists(logPath()));
  auto boxes = fakes_.prompter->messages();
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_EQ(boxes[0].text, QStringLiteral("The same filename exist, overwrite it?"));

  fakes_.prompter->formats = {QStringLiteral("CSV")};
  fakes_.prompter->paths = {path};
  fakes_.prompter->answers = {Answer::Yes};
  ClickExport();
  EXPECT_EQ(ReadFile(path.toStdString()), testing_export::kSampleCsv);
  EXPECT_FALSE(fs::exists(logPath()));
}

TEST_F(FormMainExportTest, AFailedWriteSaysSoAndKeepsTheOldFileAndTheLog) {
  auto failing = std::make_shared<fakes::FailingFiles>(SystemFiles());
  failing->failReplaceOf = "/out/";
  fakes_.files = failing;
  ASSERT_TRUE(LoadWithPreviousRun());
  const QString path = OutPath("full.txt");
  WriteFile(path.toStdString(), "old\r\n");

  fakes_.prompter->formats = {QStringLiteral("TEXT")};
  fakes_.prompter->paths = {path};
  fakes_.prompter->answers = {Answer::Yes};
  ClickExport();
  EXPECT_EQ(ReadFile(path.toStdString()), "old\r\n");
  EXPECT_EQ(ReadFile(logPath()), testing_export::kSampleLog);
  EXPECT_TRUE(fs::exists(folder_ + "Tolvane_DB4.txt"));
  const auto boxes = fakes_.prompter->messages();
  ASSERT_EQ(boxes.size(), 2);  // the overwrite question, then the failure
  EXPECT_TRUE(boxes[1].text.startsWith(QStringLiteral("Export Fail.   ")));
  EXPECT_TRUE(boxes[1].text.contains(path));
  EXPECT_TRUE(boxes[1].text.contains(QStringLiteral("No space left on device")));
  EXPECT_NE(boxes[1].caption, QStringLiteral("File Saved"));
}

TEST_F(FormMainExportTest, NothingToExportIsSaidAndNoDialogFollows) {
  Load();
  fakes_.prompter->formats = {QStringLiteral("TEXT")};
  ClickExport();
  auto boxes = fakes_.prompter->messages();
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_EQ(boxes[0].text, QStringLiteral("No data to be export.     "));

  w().ShowScanPanel();
  fakes_.prompter->formats = {QStringLiteral("CSV")};
  ClickExport();
  ASSERT_EQ(Calls("export").size(), 2);
  EXPECT_EQ(Calls("export")[1].text, QStringLiteral("SCAN"));
  boxes = fakes_.prompter->messages();
  ASSERT_EQ(boxes.size(), 2);
  EXPECT_EQ(boxes[1].text, QStringLiteral("No ip scan data to be export.     "));
  EXPECT_TRUE(Calls("save").isEmpty());
}

TEST_F(FormMainExportTest, ScanExportWritesTheTableWithTheLocalesGeneralDate) {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  ASSERT_TRUE(LoadWithPreviousRun());
  w().setScanExportSource([] {
    return ScanExportSource{{{"127.0.0.1", "1", "=cmd|'/c calc'!A1", "00-1A-2B-3C-4D-5E", "64"},
                             {"127.0.0.2", "Dead", "", "", ""},
                             {"127.0.0.3", "", "", "", ""}},
                            {"3", "1", "1"}};
  });
  w().ShowScanPanel();
  fakes_.prompter->formats = {QStringLiteral("TEXT")};
  fakes_.prompter->paths = {OutPath("scan.txt")};
  ClickExport();
  QLocale::setDefault(QLocale::system());

  const auto saves = Calls("save");
  ASSERT_EQ(saves.size(), 1);
  EXPECT_EQ(saves[0].caption, QStringLiteral("Save IP Scan Results"));
  EXPECT_TRUE(saves[0].text.endsWith(QStringLiteral("/IP_Scan_Results_2603071405|Text Files (*.txt)")))
      << saves[0].text.toStdString();
  const std::string expected =
      "IP Scan at :  3/7/2026 2:05:09 PM\r\n \r\n \r\n"
      "Total:   3\r\nActive:   1\r\nInactive:   1\r\n"
      " \r\n \r\nActive:\r\n------------------------------------\r\n"
      "No,IP,Ping,Host Name,MAC Address,TTL\r\n"
      "1,127.0.0.1,1,'=cmd|'/c calc'!A1,00-1A-2B-3C-4D-5E,64\r\n"
      "2,127.0.0.3,,,,\r\n"
      " \r\n \r\nInactive:\r\n------------------------------------\r\n"
      "No,IP,Ping,Host Name,MAC Address,TTL\r\n"
      "1,127.0.0.2,Dead,,,\r\n";
  EXPECT_EQ(ReadFile(OutPath("scan.txt").toStdString()), expected);
  // Only a ping export removes the run log.
  EXPECT_TRUE(fs::exists(logPath()));
  const auto boxes = fakes_.prompter->messages();
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_EQ(boxes[0].text,
            QStringLiteral("IP Scan results has export to file: \r\n\r\n") + OutPath("scan.txt"));

  // Another locale's order and separators, with the whole year and seconds.
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  fakes_.prompter->formats = {QStringLiteral("TEXT")};
  fakes_.prompter->paths = {OutPath("scan-de.txt")};
  ClickExport();
  QLocale::setDefault(QLocale::system());
  EXPECT_EQ(ReadFile(OutPath("scan-de.txt").toStdString()).substr(0, 35),
            "IP Scan at :  07.03.2026 14:05:09\r\n");
}

TEST_F(FormMainExportTest, ExcelWritesTheCsvAndHandsItToTheSpreadsheet) {
  ASSERT_TRUE(LoadWithPreviousRun());
  fakes_.prompter->formats = {QStringLiteral("EXCEL")};
  fakes_.prompter->paths = {OutPath("book")};
  ClickExport();
  EXPECT_EQ(ReadFile(OutPath("book.csv").toStdString()), testing_export::kSampleCsv);
  EXPECT_EQ(fakes_.launcher->files, QStringList{QStringLiteral("spreadsheet:") + OutPath("book.csv")});
}

TEST_F(FormMainExportTest, OpenChoosesTheApplicationByTheEndOfThePath) {
  Load();
  fakes_.prompter->paths = {QStringLiteral("/r/results.Csv"), QStringLiteral("/r/results.txt"),
                            QStringLiteral("/r/csv.log")};
  for (int i = 0; i < 3; ++i)
    QTest::mouseClick(w().findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
  w().action(QStringLiteral("mnuOpen"))->trigger();  // cancelled: nothing
  EXPECT_EQ(fakes_.launcher->files,
            (QStringList{"spreadsheet:/r/results.Csv", "text:/r/results.txt", "text:/r/csv.log"}));
  const auto opens = Calls("open");
  ASSERT_EQ(opens.size(), 4);
  EXPECT_EQ(opens[0].caption, QStringLiteral("Open Log File"));
  EXPECT_TRUE(opens[0].text.endsWith(QStringLiteral("|Text/CSV Files (*.txt;*.csv)")));

  fakes_.launcher->result = false;
  fakes_.prompter->paths = {QStringLiteral("/r/results.csv")};
  w().action(QStringLiteral("mnuOpen"))->trigger();
  const auto boxes = fakes_.prompter->messages();
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("No spreadsheet application")));
  EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("/r/results.csv")));
}

// ---- The IP list and the command history ----

TEST_F(FormMainExportTest, IPListExportIsAByteCopyUnderADatedName) {
  WriteFile(folder_ + "Tolvane_DB.txt", "A127.0.0.7\r\nA127.0.0.8\r\n \r\n");
  Load();
  const std::string list = ReadFile(w().ipListFile());
  fakes_.prompter->paths = {OutPath("list.txt")};
  w().action(QStringLiteral("mnuExpImp_1"))->trigger();
  EXPECT_EQ(ReadFile(OutPath("list.txt").toStdString()), list);
  const auto saves = Calls("save");
  ASSERT_EQ(saves.size(), 1);
  EXPECT_EQ(saves[0].caption, QStringLiteral("IP List will be export to this File"));
  EXPECT_TRUE(saves[0].text.endsWith(QStringLiteral("/IP_List_202603071405|Text Files (*.txt)")));
  auto boxes = fakes_.prompter->messages();
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_EQ(boxes[0].caption, QStringLiteral("File Saved"));
  EXPECT_EQ(boxes[0].text, QStringLiteral("IP List has export to file: ") + OutPath("list.txt"));

  // Declining the overwrite leaves the earlier copy.
  WriteFile(OutPath("list.txt").toStdString(), "mine");
  fakes_.prompter->paths = {OutPath("list.txt")};
  fakes_.prompter->answers = {Answer::No};
  w().action(QStringLiteral("mnuExpImp_1"))->trigger();
  EXPECT_EQ(ReadFile(OutPath("list.txt").toStdString()), "mine");
}

TEST_F(FormMainExportTest, IPListImportReplacesTheListAndShowsIt) {
  Load();
  const std::string source = OutPath("in.txt").toStdString();
  const std::string bytes = "A127.0.0.5\r\nA127.0.0.6\r\n \r\n";
  WriteFile(source, bytes);
  // A typed path may carry a line break.
  fakes_.prompter->paths = {OutPath("in.txt") + QStringLiteral("\r\n")};
  fakes_.prompter->answers = {Answer::Yes};
  w().action(QStringLiteral("mnuExpImp_2"))->trigger();
  EXPECT_EQ(ReadFile(w().ipListFile()), bytes);
  const auto boxes = fakes_.prompter->messages();
  ASSERT_EQ(boxes.size(), 2);
  EXPECT_EQ(boxes[0].text, QStringLiteral("Overwrite the current IP List?"));
  EXPECT_EQ(boxes[1].caption, QStringLiteral("Imported"));
  EXPECT_EQ(boxes[1].text, QStringLiteral("IP List has been imported"));
  QListWidget* list = w().targetList()->ListIP();
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text(), QStringLiteral("127.0.0.5"));
}

TEST_F(FormMainExportTest, IPListImportRefusalsLeaveTheListWhole) {
  WriteFile(folder_ + "Tolvane_DB.txt", "A127.0.0.7\r\n \r\n");
  Load();
  const std::string before = ReadFile(w().ipListFile());

  fakes_.prompter->paths = {OutPath("missing.txt")};
  w().action(QStringLiteral("mnuExpImp_2"))->trigger();
  auto boxes = fakes_.prompter->messages();
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_EQ(boxes[0].text, QStringLiteral("Not Find This File."));
  EXPECT_EQ(boxes[0].caption, QStringLiteral("File Name Error"));

  WriteFile(OutPath("other.txt").toStdString(), "A127.0.0.9\r\n");
  fakes_.prompter->paths = {OutPath("other.txt")};
  fakes_.prompter->answers = {Answer::No};
  w().action(QStringLiteral("mnuExpImp_2"))->trigger();

  WriteFile(OutPath("bin.txt").toStdString(), std::string("A127.0.0.9\r\n\0\x01\x02", 15));
  fakes_.prompter->paths = {OutPath("bin.txt")};
  w().action(QStringLiteral("mnuExpImp_2"))->trigger();

  WriteFile(OutPath("huge.txt").toStdString(), std::string(kImportLimitBytes + 1, 'A'));
  fakes_.prompter->paths = {OutPath("huge.txt")};
  w().action(QStringLiteral("mnuExpImp_2"))->trigger();

  EXPECT_EQ(ReadFile(w().ipListFile()), before);
  boxes = fakes_.prompter->messages();
  ASSERT_EQ(boxes.size(), 6);
  EXPECT_TRUE(boxes[3].text.contains(QStringLiteral("binary")));
  EXPECT_TRUE(boxes[5].text.contains(QStringLiteral("larger than")));
  EXPECT_EQ(w().targetList()->ListIP()->count(), 1);
}

TEST_F(FormMainExportTest, HistoryRoundTripsByteForByteAndAsksForTheReload) {
  const std::string history = "ping -c 3 127.0.0.1\r\nip -4 neigh show\r\n \r\n";
  WriteFile(folder_ + "Tolvane_DB2.txt", history);
  Load();
  fakes_.prompter->paths = {OutPath("his.txt")};
  w().action(QStringLiteral("mnuExpImp_4"))->trigger();
  EXPECT_EQ(ReadFile(OutPath("his.txt").toStdString()), history);
  auto saves = Calls("save");
  ASSERT_EQ(saves.size(), 1);
  EXPECT_EQ(saves[0].caption, QStringLiteral("DOS Command history will be export to this File"));
  EXPECT_TRUE(saves[0].text.endsWith(QStringLiteral("/DOS_CMD_HIS_202603071405|Text Files (*.txt)")));

  // Replaced by another history, then by the exported copy: the same bytes.
  QSignalSpy reloads(w().resultsExport(), &ResultsExport::historyReplaced);
  WriteFile(OutPath("other.txt").toStdString(), "netstat\r\n");
  fakes_.prompter->paths = {OutPath("other.txt"), OutPath("his.txt")};
  w().action(QStringLiteral("mnuExpImp_5"))->trigger();
  EXPECT_EQ(ReadFile(folder_ + "Tolvane_DB2.txt"), "netstat\r\n");
  w().action(QStringLiteral("mnuExpImp_5"))->trigger();
  EXPECT_EQ(ReadFile(folder_ + "Tolvane_DB2.txt"), history);
  EXPECT_EQ(reloads.count(), 2);
  const auto boxes = fakes_.prompter->messages();
  ASSERT_GE(boxes.size(), 3);
  EXPECT_EQ(boxes[1].text, QStringLiteral("Overwrite the current DOS command history?"));
  EXPECT_EQ(boxes[2].text, QStringLiteral("DOS command history has been imported"));
}

}  // namespace
}  // namespace sondrel
