#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "app/AppFixture.h"
#include "scan/EmbeddedWorker.h"
#include "scan/ScanProgram.h"
#include "core/common/DataFolder.h"

namespace sondrel {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Embedded() {
  const auto bytes = EmbeddedWorker();
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

void StartOnce(const std::string& base) {
  testing::MainWindowUnderTest app(base);
  app.window->Form_Load();
}

TEST(StartUp, FirstStartCreatesTheFolderAndTheWorker) {
  QTemporaryDir base;
  StartOnce(base.path().toStdString());
  const std::string folder = base.path().toStdString() + "/SondrelDataBas";
  ASSERT_TRUE(fs::is_directory(folder));
  const std::string worker = folder + "/PingIPscan2008112";
  ASSERT_TRUE(fs::is_regular_file(worker));
  EXPECT_GT(Embedded().size(), 0u);
  EXPECT_TRUE(ReadFile(worker) == Embedded()) << "the worker is written byte for byte";
  EXPECT_NE(fs::status(worker).permissions() & fs::perms::owner_exec, fs::perms::none);
  // Beside the worker only the default IP list and command history; no
  // temporary files.
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"PingIPscan2008112", "Tolvane_DB.txt",
                                          "Tolvane_DB2.txt"}));
}

TEST(StartUp, SecondStartRewritesNothingAndKeepsAReplacedWorker) {
  QTemporaryDir base;
  StartOnce(base.path().toStdString());
  const std::string folder = base.path().toStdString() + "/SondrelDataBas/";
  const std::string worker = folder + "PingIPscan2008112";
  for (const std::string& file :
       {worker, folder + "Tolvane_DB.txt", folder + "Tolvane_DB2.txt"}) {
    SCOPED_TRACE(file);
    struct stat first {};
    ASSERT_EQ(::stat(file.c_str(), &first), 0);
    StartOnce(base.path().toStdString());
    struct stat second {};
    ASSERT_EQ(::stat(file.c_str(), &second), 0);
    EXPECT_EQ(first.st_ino, second.st_ino);
    EXPECT_EQ(first.st_mtim.tv_nsec, second.st_mtim.tv_nsec);
    EXPECT_EQ(first.st_mtim.tv_sec, second.st_mtim.tv_sec);
  }

  { std::ofstream(worker, std::ios::trunc) << "replaced by the user"; }
  StartOnce(base.path().toStdString());
  EXPECT_EQ(ReadFile(worker), "replaced by the user");
}

TEST(StartUp, AShortBaseMeansTheProgramsOwnFolder) {
  for (const char* base : {"", "ab"}) {
    SCOPED_TRACE(base);
    testing::MainWindowUnderTest app(base);
    app.window->Form_Load();
    EXPECT_EQ(app.window->dataFolder(), SystemFiles().programFolder() + "SondrelDataBas/");
    EXPECT_TRUE(fs::is_directory(app.window->dataFolder()));
  }
}

TEST(StartUp, AnUnusableBaseDoesNotStopTheWindow) {
  QTemporaryDir dir;
  const std::string file = dir.path().toStdString() + "/plain-file";
  { std::ofstream(file) << "x"; }
  for (const std::string& base : {file, std::string("/proc/self")}) {
    SCOPED_TRACE(base);
    testing::MainWindowUnderTest app(base);
    app.window->Form_Load();
    EXPECT_TRUE(app.window->isVisible());
    EXPECT_EQ(app.window->windowTitle().toStdString(), " Network Connectivity Tester & Logger  8.23");
    EXPECT_FALSE(fs::exists(app.window->scanProgramPath()));
  }
}

TEST(StartUp, AMissingParentIsCreatedWholeWithPrivateFolders) {
  QTemporaryDir dir;
  // A fresh account: neither ~/.local nor ~/.local/share exists yet.
  const std::string home = dir.path().toStdString();
  ASSERT_EQ(::chmod(home.c_str(), 0755), 0);
  const std::string base = home + "/.local/share";
  testing::MainWindowUnderTest app(base);
  app.window->Form_Load();
  EXPECT_EQ(app.window->dataFolder(), base + "/SondrelDataBas/");
  for (const std::string& made : {home + "/.local", base, base + "/SondrelDataBas"}) {
    SCOPED_TRACE(made);
    struct stat st {};
    ASSERT_EQ(::stat(made.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
  }
  struct stat top {};
  ASSERT_EQ(::stat(home.c_str(), &top), 0);
  EXPECT_EQ(top.st_mode & 07777, 0755u) << "an existing folder keeps its mode";
  // The list can be saved there, so a run can start.
  EXPECT_TRUE(fs::is_regular_file(base + "/SondrelDataBas/Tolvane_DB.txt"));
  EXPECT_TRUE(fs::is_regular_file(app.window->scanProgramPath()));
}

TEST(StartUp, ASecondWindowOnTheSameDataFolderIsRefused) {
  QTemporaryDir base;
  testing::MainWindowUnderTest first(base.path().toStdString());
  first.window->Form_Load();
  ASSERT_TRUE(first.window->isVisible());

  // Two windows would each take the other's log for their own run.
  testing::MainWindowUnderTest second(base.path().toStdString());
  second.window->Form_Load();
  EXPECT_FALSE(second.window->isVisible());
  const auto boxes = second.fakes.prompter->messages();
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("Another window")) &&
              boxes[0].text.contains(QString::fromStdString(first.window->dataFolder())))
      << boxes[0].text.toStdString();
  EXPECT_TRUE(first.fakes.prompter->messages().isEmpty());

  // Once the first is closed, a new window takes the folder.
  first.window.reset();
  testing::MainWindowUnderTest third(base.path().toStdString());
  third.window->Form_Load();
  EXPECT_TRUE(third.window->isVisible());
  EXPECT_TRUE(third.fakes.prompter->messages().isEmpty());
}

TEST(StartUp, TheApplicationFolderFollowsOnlyAnAbsoluteXdgDataHome) {
  const QByteArray savedXdg = qgetenv("XDG_DATA_HOME");
  const QByteArray savedHome = qgetenv("HOME");
  qputenv("HOME", "/home/someone");
  qputenv("XDG_DATA_HOME", "/data/xdg");
  EXPECT_EQ(ApplicationDataFolder(), "/data/xdg");
  qputenv("XDG_DATA_HOME", "relative/xdg");
  EXPECT_EQ(ApplicationDataFolder(), "/home/someone/.local/share");
  qputenv("XDG_DATA_HOME", "");
  EXPECT_EQ(ApplicationDataFolder(), "/home/someone/.local/share");
  qputenv("XDG_DATA_HOME", savedXdg);
  qputenv("HOME", savedHome);
}

TEST(ScanProgram, AFullDiskLeavesNoHalfWrittenWorker) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString() + "/";
  // A file-size limit makes writes fail as a full disk would.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const auto result = ExtractScanProgram(folder, EmbeddedWorker(), SystemFiles());
  ::setrlimit(RLIMIT_FSIZE, &old);
  ASSERT_GT(EmbeddedWorker().size(), 4096u);
  EXPECT_FALSE(result.ok());
  EXPECT_THAT(result.error().message, ::testing::HasSubstr("cannot write"));
  EXPECT_TRUE(fs::is_empty(folder)) << "neither the worker nor a temporary file remains";

  // Room again: the next start writes it whole.
  const auto again = ExtractScanProgram(folder, EmbeddedWorker(), SystemFiles());
  ASSERT_TRUE(again.ok());
  EXPECT_TRUE(ReadFile(again.value()) == Embedded());
}

TEST(ScanProgram, TheExtractedWorkerRuns) {
  QTemporaryDir dir;
  const auto path = ExtractScanProgram(dir.path().toStdString(), EmbeddedWorker(), SystemFiles());
  ASSERT_TRUE(path.ok()) << path.error().message;
  QProcess worker;
  worker.start(QString::fromStdString(path.value()), {QStringLiteral("--version")});
  ASSERT_TRUE(worker.waitForFinished(10000));
  EXPECT_EQ(worker.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(worker.exitCode(), 0);
  const QString out = QString::fromLocal8Bit(worker.readAllStandardOutput());
  EXPECT_TRUE(out.endsWith(QLatin1Char('\n')));
  EXPECT_EQ(out.count(QLatin1Char('\n')), 1);
}

}  // namespace
}  // namespace sondrel
