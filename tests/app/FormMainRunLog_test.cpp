// The window and the run log files: the start-up reload against a newer run,
// a data folder that cannot be written, a damaged log, a full disk.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/AppFixture.h"
#include "archive/ArchiveRecorder.h"
#include "ping/PingRun.h"
#include "ping/ui/ParameterFrame.h"
#include "ping/ui/ResultsDisplay.h"
#include "ping/RunLog.h"

namespace sondrel {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A previous run of `n` results to 10.9.9.9, every one a reply.
std::string OldLog(int n) {
  std::string log = "1,1\r\n";
  for (int i = 0; i < n; ++i)
    log += "2026,03,07,14,05," + std::string(i < 10 ? "0" : "") + std::to_string(i) +
           ",10.9.9.9,32,5,64,0\r\n";
  return log;
}

class FormMainRunLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base_.isValid());
    folder_ = base_.path().toStdString() + "/SondrelDataBas/";
    fs::create_directories(folder_);
    fakes_.icmp->script("127.0.0.1", {0, 2000, 64});
  }
  // Starts on a previous run of three results to 10.9.9.9; true once it shows.
  bool LoadWithPreviousRun() {
    { std::ofstream(folder_ + "Tolvane_DB3.txt", std::ios::binary) << OldLog(3); }
    { std::ofstream(folder_ + "Tolvane_DB4.txt", std::ios::binary) << "10.9.9.9\r\n"; }
    Load();
    return QTest::qWaitFor(
        [&] { return d().LabelTittle2()->text() == QStringLiteral("Previous Ping Test Result"); },
        10000);
  }
  void Load() {
    app_ = std::make_unique<testing::MainWindowUnderTest>(base_.path().toStdString(), fakes_);
    app_->window->Form_Load();
    testing::PingTheseTargets(w(), {"127.0.0.1"});
    QComboBox* interval = w().parameterFrame()->comboInv();
    interval->setCurrentIndex(0);  // 10 ms
    Q_EMIT interval->activated(0);
  }
  void SetPings(int n) {
    w().parameterFrame()->comboTimes()->setEditText(QString::number(n));
    ASSERT_EQ(w().parameters().pingsPerTarget, n);
  }
  void ClickStart() {
    QTest::mouseClick(w().findChild<QPushButton*>(QStringLiteral("CommandStart")), Qt::LeftButton);
  }
  bool WaitIdle() {
    return QTest::qWaitFor([&] { return !w().testRunning(); }, 10000);
  }
  QList<fakes::FakePrompter::Call> Warnings() const {
    QList<fakes::FakePrompter::Call> out;
    for (const auto& c : fakes_.prompter->messages())
      if (c.icon == IPrompter::Icon::Warning) out.push_back(c);
    return out;
  }
  FormMain& w() { return *app_->window; }
  ResultsDisplay& d() { return *w().display(); }

  QTemporaryDir base_;
  std::string folder_;
  testing::FakeServices fakes_;
  std::unique_ptr<testing::MainWindowUnderTest> app_;
};

TEST_F(FormMainRunLogTest, ASlowReloadNeverReplacesANewerRun) {
  // The previous log is a pipe: the reload waits on it until the test feeds
  // it, as a slow disk would. A second name lets the test reach the pipe
  // after the new run has taken the log's name.
  const std::string log = folder_ + "Tolvane_DB3.txt";
  const std::string pipe = base_.path().toStdString() + "/slow-log";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  ASSERT_EQ(::link(pipe.c_str(), log.c_str()), 0);
  { std::ofstream(folder_ + "Tolvane_DB4.txt", std::ios::binary) << "10.9.9.9\r\n"; }
  struct Feed {
    std::string path;
    void operator()(const std::string& bytes) const {
      const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd < 0) return;  // nobody reads: nothing to release
      ::fcntl(fd, F_SETFL, 0);
      (void)!::write(fd, bytes.data(), bytes.size());
      ::close(fd);
    }
  } feed{pipe};
  // Whatever happens below, the reload thread is let go before teardown.
  std::unique_ptr<void, std::function<void(void*)>> release(reinterpret_cast<void*>(1),
                                                            [&](void*) { feed(""); });

  Load();
  ASSERT_TRUE(w().runLog()->reloading());
  SetPings(2);
  ClickStart();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().pingRun()->rowCount() == 2 && !w().testRunning(); },
                              10000));
  ASSERT_TRUE(w().runLog()->reloading()) << "the reload must still be under way";

  feed(OldLog(30));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w().runLog()->reloading(); }, 10000));
  QTest::qWait(50);  // anything the reload would still post

  // The screen, the records and the file all hold the new run.
  d().flush();
  EXPECT_EQ(w().pingRun()->rowCount(), 2);
  EXPECT_EQ(w().pingRun()->data().targetCount, 1);
  EXPECT_NE(d().LabelTittle2()->text(), QStringLiteral("Previous Ping Test Result"));
  EXPECT_TRUE(d().sIP[0]->text().endsWith(QStringLiteral("Reply from 127.0.0.1")));
  EXPECT_TRUE(d().sIP[2]->text().isEmpty());
  EXPECT_FALSE(d().LabelTittle3()->isVisibleTo(&d()));
  const std::string onDisk = ReadFile(log);
  EXPECT_EQ(onDisk.substr(0, 5), "1,1\r\n");
  EXPECT_EQ(onDisk.find("10.9.9.9"), std::string::npos);
  EXPECT_EQ(ReadFile(folder_ + "Tolvane_DB4.txt"), "127.0.0.1\r\n");
}

TEST_F(FormMainRunLogTest, AnUnwritableDataFolderKeepsThePreviousResultsOnScreen) {
  ASSERT_TRUE(LoadWithPreviousRun());
  d().flush();
  const QString firstRow = d().sIP[0]->text();
  ASSERT_TRUE(firstRow.endsWith(QStringLiteral("Reply from 10.9.9.9")));
  // The archive's first start has kept the logged run before the folder goes
  // (else its opening fails too, and says so).
  ASSERT_TRUE(w().findChild<ArchiveRecorder*>()->waitIdle(10000));

  // The folder is gone and a file has taken its place (as root, permission
  // bits would not stop a write; this does).
  fs::rename(base_.path().toStdString() + "/SondrelDataBas",
             base_.path().toStdString() + "/moved");
  { std::ofstream(base_.path().toStdString() + "/SondrelDataBas") << "not a folder"; }
  fakes_.prompter->calls.clear();
  ClickStart();
  ASSERT_TRUE(WaitIdle());
  QTest::qWait(50);

  const auto messages = fakes_.prompter->messages();
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0].icon, IPrompter::Icon::Warning);
  EXPECT_TRUE(messages[0].text.startsWith(QString::fromStdString(
      "The data folder " + folder_ + " cannot be written: Not a directory.")))
      << messages[0].text.toStdString();
  d().flush();
  EXPECT_EQ(w().pingRun()->rowCount(), 3);
  EXPECT_EQ(d().sIP[0]->text(), firstRow);
  EXPECT_EQ(d().LabelTittle2()->text(), QStringLiteral("Previous Ping Test Result"));
  EXPECT_EQ(d().sIP4[0]->text(), QStringLiteral("3"));
}

TEST_F(FormMainRunLogTest, ALogThatCannotBeginBringsThePreviousResultsBack) {
  ASSERT_TRUE(LoadWithPreviousRun());
  // The folder can be written, but the targets cannot take their place.
  fs::remove(folder_ + "Tolvane_DB4.txt");
  fs::create_directories(folder_ + "Tolvane_DB4.txt/inside");
  fakes_.prompter->calls.clear();
  ClickStart();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !fakes_.prompter->messages().isEmpty(); }, 10000));
  ASSERT_TRUE(WaitIdle());
  QTest::qWait(50);

  const auto messages = fakes_.prompter->messages();
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0].icon, IPrompter::Icon::Warning);
  EXPECT_TRUE(messages[0].text.startsWith(QString::fromStdString("The data folder " + folder_)))
      << messages[0].text.toStdString();
  EXPECT_EQ(ReadFile(folder_ + "Tolvane_DB3.txt"), OldLog(3));
  d().flush();
  EXPECT_EQ(w().pingRun()->rowCount(), 3);
  EXPECT_TRUE(d().sIP[0]->text().endsWith(QStringLiteral("Reply from 10.9.9.9")));
  EXPECT_EQ(d().LabelTittle2()->text(), QStringLiteral("Previous Ping Test Result"));
  EXPECT_EQ(d().sIP4[0]->text(), QStringLiteral("3"));
}

TEST_F(FormMainRunLogTest, ADamagedLogIsReportedOnceAndNeverShownAsReplies) {
  std::string log = OldLog(2);
  log += "2026,03,07,14,05,09,10.9.9.9,32,zz,64,0\r\n";        // time not a number
  log += "2026,03,07,14,05,09,10.9.9.9,32,5,6\r\n";            // fields missing
  log += "2026,03,07,14,02026,03,07,14,05,10,10.9.9.9,32,5,64,0\r\n";  // two glued
  { std::ofstream(folder_ + "Tolvane_DB3.txt", std::ios::binary) << log; }
  Load();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return d().LabelTittle2()->text() == QStringLiteral("Previous Ping Test Result"); },
      10000));
  QTest::qWait(50);
  d().flush();
  const auto warnings = Warnings();
  ASSERT_EQ(warnings.size(), 1);
  EXPECT_TRUE(warnings[0].text.startsWith(QStringLiteral("3 of the lines in the log")))
      << warnings[0].text.toStdString();
  EXPECT_EQ(w().pingRun()->rowCount(), 5);
  for (int row = 2; row < 5; ++row)
    EXPECT_FALSE(d().sIP2[row]->text().contains(QStringLiteral("ok"))) << row;
  // A damaged line is not known to be a loss: it keeps its row, but no figure
  // counts it.
  EXPECT_EQ(d().sIP4[0]->text(), QStringLiteral("2"));  // sent
  EXPECT_EQ(d().sIP4[1]->text(), QStringLiteral("2"));  // received
  EXPECT_EQ(d().sIP4[2]->text(), QStringLiteral("0"));  // lost
  EXPECT_EQ(d().sIP4[3]->text(), QStringLiteral("0.00 %"));

  const QString out = base_.path() + QStringLiteral("/damaged.txt");
  fakes_.prompter->formats = {QStringLiteral("TEXT")};
  fakes_.prompter->paths = {out};
  QTest::mouseClick(w().findChild<QPushButton*>(QStringLiteral("CommandExport")), Qt::LeftButton);
  const std::string text = ReadFile(out.toStdString());
  EXPECT_NE(text.find("Sent:       2\r\nReceived:   2\r\nLost:       0\r\nLoss Rate:  0.00 %\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\r\n5. "), std::string::npos) << "every line keeps its row";
}

TEST_F(FormMainRunLogTest, AFullDiskIsToldOnceAndTheRestCountedAtTheStop) {
  Load();
  SetPings(6);
  const std::string line = "2026,03,07,14,05,09,127.0.0.1,32,2,64,0\r\n";
  // The log may grow by two lines and part of a third: then the disk is full.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 5 + 2 * line.size() + 10;
  ClickStart();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().runLog()->isOpen(); }, 10000));
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool idle = WaitIdle();
  ::setrlimit(RLIMIT_FSIZE, &old);
  ASSERT_TRUE(idle);
  QTest::qWait(50);

  EXPECT_EQ(w().pingRun()->rowCount(), 6);
  auto warnings = Warnings();
  // The full disk stops the archive too; it says so once, for itself.
  const auto archive = std::find_if(warnings.begin(), warnings.end(),
                                    [](const auto& m) { return m.text.contains(QStringLiteral("Sondrel.sqlite")); });
  ASSERT_NE(archive, warnings.end()) << warnings.size() << " warnings, none from the archive";
  warnings.erase(archive);
  ASSERT_EQ(warnings.size(), 2);
  EXPECT_TRUE(warnings[0].text.contains(QStringLiteral("no longer written to the log")));
  EXPECT_TRUE(warnings[0].text.contains(QStringLiteral("File too large")));
  EXPECT_TRUE(warnings[1].text.startsWith(
      QStringLiteral("4 results of this ping test could not be written to the log")))
      << warnings[1].text.toStdString();
  const std::string onDisk = ReadFile(folder_ + "Tolvane_DB3.txt");
  ASSERT_GE(onDisk.size(), 2u);
  EXPECT_EQ(onDisk.substr(onDisk.size() - 2), "\r\n");
  auto reloaded = w().runLog()->loadPreviousRun();
  ASSERT_TRUE(reloaded);
  EXPECT_EQ(reloaded.value().records.size(), 2u);
  EXPECT_EQ(reloaded.value().damagedLines, 0);
}

}  // namespace
}  // namespace sondrel
