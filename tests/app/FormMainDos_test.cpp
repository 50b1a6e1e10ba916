// The command utility panel in the real window on fakes: opening it, the
// pickers, running a command in a terminal, the history list and its menu,
// and closing the terminals.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "app/AppFixture.h"
#include "command/TerminalRuns.h"
#include "command/ui/DosPanelPresenter.h"
#include "core/common/Twips.h"
#include "iplist/ui/FormAddIP.h"
#include "iplist/ui/IPListEditor.h"
#include "support/FileText.h"

namespace sondrel {
namespace {

const std::vector<std::string> kDefaultHistory = {
    "traceroute www.wikipedia.org", "traceroute www.debian.org", "ip addr", "hostname",
    "hostnamectl", "smbtree", "cp -r ~/test ~/test2", "netstat", "nslookup www.debian.org",
    "arp -a", "arp -d"};
const std::string kScript =
    "case :$PATH: in *:/usr/sbin:*) ;; *) PATH=$PATH:/usr/sbin:/sbin ;; esac; "
    "if [ -z \"$2\" ] || command -v \"$2\" >/dev/null 2>&1; then eval \"$1\"; "
    "else printf '%s\\n' \"$3\"; fi; exec \"${SHELL:-sh}\"";

// Programs that print how they were called, standing in for real ones.
void MakeStandIns(const std::string& folder, const std::vector<std::string>& programs) {
  std::filesystem::create_directories(folder);
  for (const std::string& name : programs) {
    const std::string path = folder + "/" + name;
    std::ofstream(path, std::ios::binary)
        << "#!/bin/sh\nprintf 'ran %s' \"${0##*/}\"\n"
           "for a in \"$@\"; do printf ' [%s]' \"$a\"; done\nprintf '\\n'\n";
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  }
}

// Runs what a terminal was handed (its argument vector less the terminal and
// its option) with the real shell, in `folder`, with only the programs of
// `path` on the search path; the user's shell afterwards ends at once.
std::string RunAsTheTerminal(const std::vector<std::string>& argv, const std::string& folder,
                             const std::string& path) {
  if (argv.size() < 4) return "no terminal was started";
  QProcess shell;
  QStringList arguments;
  for (std::size_t i = 3; i < argv.size(); ++i) arguments << QString::fromStdString(argv[i]);
  QProcessEnvironment env;
  env.insert(QStringLiteral("PATH"), QString::fromStdString(path));
  env.insert(QStringLiteral("HOME"), QString::fromStdString(folder));
  env.insert(QStringLiteral("SHELL"), QStringLiteral("/bin/true"));
  shell.setProcessEnvironment(env);
  shell.setWorkingDirectory(QString::fromStdString(folder));
  shell.setProcessChannelMode(QProcess::MergedChannels);
  shell.start(QStringLiteral("/bin/sh"), arguments);
  if (!shell.waitForFinished(10000)) {
    shell.kill();
    shell.waitForFinished(2000);
    return "the shell did not end";
  }
  return shell.readAll().toStdString();
}

class FormMainDosTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base_.isValid());
    folder_ = testing::DataFolderWithList(base_, "A127.0.0.1\r\nA127.0.0.2\r\n \r\n");
    fakes_.processes->script("/usr/bin/xterm", {});
  }
  void Load() {
    app_ = std::make_unique<testing::MainWindowUnderTest>(base_.path().toStdString(), fakes_);
    w().Form_Load();
  }
  void GivenHistory(const std::string& bytes) {
    std::ofstream(folder_ + "Tolvane_DB2.txt", std::ios::binary) << bytes;
  }
  std::string HistoryBytes() { return testing_files::ReadFile(folder_ + "Tolvane_DB2.txt"); }
  FormMain& w() { return *app_->window; }
  template <typename T>
  T* find(const QString& name) {
    T* found = w().findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name.toStdString();
    return found;
  }
  QPushButton* button(int i) { return find<QPushButton>(QStringLiteral("CommandDOS_%1").arg(i)); }
  QWidget* panel() { return find<QWidget>(QStringLiteral("PictureDOS")); }
  QLineEdit* textCmd() { return find<QLineEdit>(QStringLiteral("TextCmd")); }
  QListWidget* list(const char* name) { return find<QListWidget>(QString::fromLatin1(name)); }
  std::vector<std::string> items(const char* name) {
    std::vector<std::string> texts;
    QListWidget* l = list(name);
    for (int i = 0; i < l->count(); ++i) texts.push_back(l->item(i)->text().toStdString());
    return texts;
  }
  void click(QListWidget* l, const QString& text) {
    const auto found = l->findItems(text, Qt::MatchExactly);
    ASSERT_FALSE(found.isEmpty()) << text.toStdString();
    l->scrollToItem(found.front());
    QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(found.front()).center());
  }
  void trigger(const char* name) {
    QAction* a = w().action(QString::fromLatin1(name));
    ASSERT_NE(a, nullptr) << name;
    ASSERT_TRUE(a->isEnabled()) << name;
    a->trigger();
  }
  void openPanel() {
    QTest::mouseClick(find<QToolButton>(QStringLiteral("Command19")), Qt::LeftButton);
    ASSERT_TRUE(panel()->isVisible());
  }
  void pick(int pickerButton, const char* listName, const QString& text) {
    QTest::mouseClick(button(pickerButton), Qt::LeftButton);
    click(list(listName), text);
  }
  std::vector<std::string> lastArgv() {
    const auto& started = fakes_.processes->started();
    return started.empty() ? std::vector<std::string>{} : started.back().argv;
  }

  QTemporaryDir base_;
  std::string folder_;
  testing::FakeServices fakes_;
  std::unique_ptr<testing::MainWindowUnderTest> app_;
};

TEST_F(FormMainDosTest, ThePanelOpensInFrontWithTheCommandsAndTheDefaultHistory) {
  Load();
  EXPECT_EQ(HistoryBytes(),
            "traceroute www.wikipedia.org\r\ntraceroute www.debian.org\r\nip addr\r\nhostname\r\n"
            "hostnamectl\r\nsmbtree\r\ncp -r ~/test ~/test2\r\nnetstat\r\nnslookup www.debian.org\r\n"
            "arp -a\r\narp -d\r\n \r\n");
  EXPECT_FALSE(panel()->isVisible());
  for (const char* opener : {"Command19", "Command11", "mnuDos"}) {
    SCOPED_TRACE(opener);
    panel()->hide();
    if (QAction* a = w().action(QString::fromLatin1(opener)))
      a->trigger();
    else
      QTest::mouseClick(find<QToolButton>(QString::fromLatin1(opener)), Qt::LeftButton);
    EXPECT_TRUE(panel()->isVisible());
    EXPECT_EQ(panel()->pos(), QPoint(Px(5450), Px(2820)));
  }
  EXPECT_EQ(w().findChild<QWidget*>(QStringLiteral("FormMainClient"))->children().last(), panel())
      << "in front of the results";
  EXPECT_EQ(items("ListCmd").size(), 18u);
  EXPECT_EQ(items("ListCmd").front(), "traceroute");
  EXPECT_EQ(items("ListDOSHis"), kDefaultHistory);
  EXPECT_EQ(button(2)->toolTip().toStdString(), "Run the DOS Command");
  EXPECT_EQ(find<QCheckBox>(QStringLiteral("CheckAutoAdd"))->text().toStdString(), "add to list");

  QTest::mouseClick(button(6), Qt::LeftButton);
  EXPECT_FALSE(panel()->isVisible());
  openPanel();
  QTest::mouseClick(find<QToolButton>(QStringLiteral("Image2")), Qt::LeftButton);
  EXPECT_FALSE(panel()->isVisible()) << "switching results panels hides it";
}

TEST_F(FormMainDosTest, ACommandComposedFromThePickersRunsInATerminalAndIsRemembered) {
  Load();
  openPanel();
  QTest::mouseClick(button(0), Qt::LeftButton);
  EXPECT_TRUE(list("ListCmd")->isVisible());
  click(list("ListCmd"), QStringLiteral("ping"));
  EXPECT_EQ(textCmd()->text().toStdString(), "ping");
  EXPECT_FALSE(list("ListCmd")->isVisible());

  QTest::mouseClick(button(1), Qt::LeftButton);
  ASSERT_TRUE(list("ListIP2")->isVisible());
  EXPECT_EQ(items("ListIP2"), (std::vector<std::string>{"127.0.0.1", "127.0.0.2",
                                                        "----------------------------",
                                                        "Add a IP / URL"}));
  click(list("ListIP2"), QStringLiteral("127.0.0.2"));
  EXPECT_EQ(textCmd()->text().toStdString(), "ping 127.0.0.2");
  EXPECT_FALSE(list("ListIP2")->isVisible());
  // A second pick replaces the address already there.
  QTest::mouseClick(button(1), Qt::LeftButton);
  click(list("ListIP2"), QStringLiteral("127.0.0.1"));
  EXPECT_EQ(textCmd()->text().toStdString(), "ping 127.0.0.1");
  textCmd()->end(false);
  QTest::keyClicks(textCmd(), QStringLiteral(" -c 2"));
  QTest::keyClick(textCmd(), Qt::Key_Return);

  EXPECT_EQ(lastArgv(), (std::vector<std::string>{"/usr/bin/xterm", "-e", "sh", "-c", kScript,
                                                  "sh", "ping 127.0.0.1 -c 2"}));
  EXPECT_NE(HistoryBytes().find("arp -d\r\nping 127.0.0.1 -c 2\r\n \r\n"), std::string::npos);
  EXPECT_EQ(items("ListDOSHis").back(), "ping 127.0.0.1 -c 2");
  EXPECT_TRUE(fakes_.prompter->messages().isEmpty());
}

TEST_F(FormMainDosTest, TheTypedCommandReachesTheShellAsOneUnchangedArgument) {
  Load();
  openPanel();
  const std::string command = R"(echo "a;b" 'c d' $HOME; ls -l | grep x # note)";
  textCmd()->setText(QString::fromStdString("   " + command + "  "));
  find<QCheckBox>(QStringLiteral("CheckAutoAdd"))->setChecked(false);
  QTest::mouseClick(button(2), Qt::LeftButton);
  const std::vector<std::string> argv = lastArgv();
  ASSERT_EQ(argv.size(), 7u);
  EXPECT_EQ(argv[4], kScript);
  EXPECT_EQ(argv[6], command);
  EXPECT_EQ(items("ListDOSHis"), kDefaultHistory) << "not added with the box unchecked";

  // No terminal emulator: the user is told which were looked for.
  fakes_.launcher->terminal.clear();
  QTest::mouseClick(button(2), Qt::LeftButton);
  EXPECT_EQ(fakes_.processes->started().size(), 1u);
  ASSERT_EQ(fakes_.prompter->messages().size(), 1);
  const auto told = fakes_.prompter->messages().front();
  EXPECT_TRUE(told.text.endsWith(QStringLiteral(".   Dos_Run"))) << told.text.toStdString();
  for (const char* name : {"$TERMINAL", "x-terminal-emulator", "gnome-terminal", "konsole", "xterm"})
    EXPECT_TRUE(told.text.contains(QString::fromLatin1(name))) << name;
  EXPECT_EQ(told.icon, IPrompter::Icon::Critical);
}

TEST_F(FormMainDosTest, CloseAllAsksEveryRunningTerminalToCloseAndForgetsThem) {
  fakes_.processes->script("/usr/bin/xterm", {{}, 0, true});
  Load();
  openPanel();
  textCmd()->setText(QStringLiteral("top"));
  QTest::mouseClick(button(2), Qt::LeftButton);
  textCmd()->setText(QStringLiteral("mtr 127.0.0.1"));
  QTest::mouseClick(button(2), Qt::LeftButton);
  TerminalRuns* runs = w().dosPanel()->terminals();
  ASSERT_EQ(runs->openCount(), 2);

  trigger("mnuCloseAllDOS");
  EXPECT_EQ(runs->openCount(), 0);
  EXPECT_EQ(fakes_.processes->terminations(),
            (std::vector<std::pair<qint64, int>>{{1000, SIGTERM}, {1001, SIGTERM}}));
  trigger("mnuCloseAllDOS");
  EXPECT_EQ(fakes_.processes->terminations().size(), 2u) << "nothing is signalled twice";

  // A terminal the user closed himself is forgotten without a signal.
  fakes_.processes->script("/usr/bin/xterm", {});
  QTest::mouseClick(button(2), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return runs->openCount() == 0; }, 5000));
  trigger("mnuCloseAllDOS");
  EXPECT_EQ(fakes_.processes->terminations().size(), 2u);
}

TEST_F(FormMainDosTest, ATerminalThatFailsAtOnceIsReportedNotTakenForARun) {
  fakes_.processes->script("/usr/bin/xterm", {{"xterm: Xt error: Can't open display: :9\n"}, 1});
  Load();
  openPanel();
  textCmd()->setText(QStringLiteral("ip route"));
  QTest::mouseClick(button(2), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !fakes_.prompter->messages().isEmpty(); }, 5000));
  const auto told = fakes_.prompter->messages().front();
  EXPECT_EQ(told.text.toStdString(),
            "The terminal ended at once (exit status 1). xterm: Xt error: Can't open display: :9"
            "   Dos_Run");
  EXPECT_EQ(told.icon, IPrompter::Icon::Critical);
  EXPECT_EQ(w().dosPanel()->terminals()->openCount(), 0);
}

TEST_F(FormMainDosTest, AddingChecksTheTextAndTheLetterCase) {
  GivenHistory("arp -a\r\n \r\n");
  Load();
  openPanel();
  textCmd()->setText(QStringLiteral("   "));
  QTest::mouseClick(button(4), Qt::LeftButton);
  ASSERT_EQ(fakes_.prompter->messages().size(), 1);
  EXPECT_EQ(fakes_.prompter->messages().front().text.toStdString(),
            "No current entered command line to add.   ");
  EXPECT_EQ(fakes_.prompter->messages().front().icon, IPrompter::Icon::Critical);

  for (const char* text : {"arp -a", " ARP -a ", "ARP -a"}) {
    textCmd()->setText(QString::fromLatin1(text));
    QTest::mouseClick(button(4), Qt::LeftButton);
  }
  EXPECT_EQ(HistoryBytes(), "arp -a\r\nARP -a\r\n \r\n");
  EXPECT_TRUE(fakes_.processes->started().empty()) << "adding runs nothing";
}

TEST_F(FormMainDosTest, DeletingSelectedLinesAsksFirstAndTakesTheirDuplicates) {
  GivenHistory("netstat\r\nip addr\r\nnetstat\r\nhostname\r\n \r\n");
  Load();
  openPanel();
  trigger("mnuDel_4");
  ASSERT_EQ(fakes_.prompter->messages().size(), 1);
  EXPECT_EQ(fakes_.prompter->messages().back().text.toStdString(),
            "Please select the history records your want to delete.  ");
  EXPECT_EQ(fakes_.prompter->messages().back().icon, IPrompter::Icon::Warning);

  QListWidget* his = list("ListDOSHis");
  his->item(2)->setSelected(true);
  fakes_.prompter->answers = {IPrompter::Answer::No};
  trigger("mnuDel_4");
  const auto asked = fakes_.prompter->messages().back();
  EXPECT_EQ(asked.text.toStdString(), "Are you sure to delete 1 seleted items ?");
  EXPECT_EQ(asked.caption.toStdString(), "Delete History");
  EXPECT_EQ(asked.buttons, IPrompter::Buttons::YesNo);
  EXPECT_EQ(asked.icon, IPrompter::Icon::Information);
  EXPECT_EQ(HistoryBytes(), "netstat\r\nip addr\r\nnetstat\r\nhostname\r\n \r\n");

  trigger("mnuDel_4");
  EXPECT_EQ(HistoryBytes(), "ip addr\r\nhostname\r\n \r\n");
  EXPECT_EQ(items("ListDOSHis"), (std::vector<std::string>{"ip addr", "hostname"}));
}

TEST_F(FormMainDosTest, PruningKeepsTheLastLinesAndDeleteAllIsNeverRefilled) {
  std::string bytes;
  for (int i = 1; i <= 25; ++i) bytes += "cmd " + std::to_string(i) + "\r\n";
  GivenHistory(bytes + " \r\n");
  Load();
  const char* entries[] = {"mnuDel_6", "mnuDel_7", "mnuDel_8", "mnuDel_9", "mnuDel_10"};
  const int counts[] = {10, 20, 30, 50, 100};
  fakes_.prompter->answers = {IPrompter::Answer::No, IPrompter::Answer::No, IPrompter::Answer::No,
                              IPrompter::Answer::No, IPrompter::Answer::No};
  for (int i = 0; i < 5; ++i) {
    trigger(entries[i]);
    EXPECT_EQ(fakes_.prompter->messages().back().text.toStdString(),
              "Are you sure to delete all except last " + std::to_string(counts[i]) + " records ?");
  }
  EXPECT_EQ(items("ListDOSHis").size(), 25u);
  trigger("mnuDel_6");
  EXPECT_EQ(items("ListDOSHis").front(), "cmd 16");
  EXPECT_EQ(items("ListDOSHis").size(), 10u);

  trigger("mnuDel_12");
  EXPECT_EQ(fakes_.prompter->messages().back().text.toStdString(),
            "Are you sure to delete all history records ?");
  EXPECT_EQ(HistoryBytes(), "");
  EXPECT_EQ(list("ListDOSHis")->count(), 0);
  // The next start finds the empty file and leaves it so.
  app_.reset();
  Load();
  EXPECT_EQ(HistoryBytes(), "");
  EXPECT_EQ(list("ListDOSHis")->count(), 0);
}

TEST_F(FormMainDosTest, SortingEditingAndRefreshingTheList) {
  GivenHistory("netstat\r\narp -a\r\nip addr\r\n \r\n");
  Load();
  openPanel();
  QTest::mouseClick(button(3), Qt::LeftButton);
  EXPECT_EQ(items("ListDOSHis"), (std::vector<std::string>{"arp -a", "ip addr", "netstat"}));
  EXPECT_EQ(HistoryBytes(), "netstat\r\narp -a\r\nip addr\r\n \r\n");
  QTest::mouseClick(button(3), Qt::LeftButton);
  EXPECT_EQ(items("ListDOSHis"), (std::vector<std::string>{"netstat", "arp -a", "ip addr"}));

  click(list("ListDOSHis"), QStringLiteral("arp -a"));
  EXPECT_EQ(textCmd()->text().toStdString(), "arp -a");

  trigger("mnuDel_1");
  EXPECT_EQ(fakes_.launcher->opened, QStringList{QString::fromStdString(folder_ + "Tolvane_DB2.txt")});
  GivenHistory("   smbtree\r\n \r\n");
  trigger("mnuDel_2");
  EXPECT_EQ(items("ListDOSHis"), (std::vector<std::string>{"smbtree"}));

  QTest::mouseClick(button(5), Qt::LeftButton);
  auto* menu = w().findChild<QMenu*>(QStringLiteral("mnuDeleteDos"));
  ASSERT_NE(menu, nullptr);
  EXPECT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 2000));
  menu->hide();
}

TEST_F(FormMainDosTest, ThePickersCloseWhenTheUserTurnsToTheLineOrTheHistory) {
  Load();
  openPanel();
  QTest::mouseClick(button(0), Qt::LeftButton);
  ASSERT_TRUE(list("ListCmd")->isVisible());
  QTest::mouseClick(textCmd(), Qt::LeftButton);
  EXPECT_FALSE(list("ListCmd")->isVisible());

  QTest::mouseClick(button(1), Qt::LeftButton);
  ASSERT_TRUE(list("ListIP2")->isVisible());
  QTest::mouseClick(button(0), Qt::LeftButton);
  EXPECT_FALSE(list("ListIP2")->isVisible()) << "one picker at a time";
  EXPECT_TRUE(list("ListCmd")->isVisible());
  QTest::mouseMove(list("ListDOSHis")->viewport(), QPoint(5, 5));
  QEvent enter(QEvent::Enter);
  QCoreApplication::sendEvent(list("ListDOSHis")->viewport(), &enter);
  EXPECT_FALSE(list("ListCmd")->isVisible());

  QTest::mouseClick(button(1), Qt::LeftButton);
  click(list("ListIP2"), QStringLiteral("----------------------------"));
  EXPECT_FALSE(list("ListIP2")->isVisible());
  EXPECT_TRUE(textCmd()->text().isEmpty());
}

TEST_F(FormMainDosTest, APickedEntryGoesInAsItsAddressAloneAndAsOneShellWord) {
  std::ofstream(folder_ + "Tolvane_DB.txt", std::ios::binary)
      << "A127.0.0.5 (router)\r\nA127.0.0.9;id>file\r\n \r\n";
  Load();
  openPanel();
  find<QCheckBox>(QStringLiteral("CheckAutoAdd"))->setChecked(false);
  textCmd()->setText(QStringLiteral("ping -c1 -W1"));
  pick(1, "ListIP2", QStringLiteral("127.0.0.5 (router)"));
  EXPECT_EQ(textCmd()->text().toStdString(), "ping -c1 -W1 127.0.0.5");
  QTest::mouseClick(button(2), Qt::LeftButton);
  const std::vector<std::string> noted = lastArgv();

  pick(1, "ListIP2", QStringLiteral("127.0.0.9;id>file"));
  EXPECT_EQ(textCmd()->text().toStdString(), "ping -c1 -W1 '127.0.0.9;id>file'");
  QTest::mouseClick(button(2), Qt::LeftButton);
  const std::vector<std::string> crafted = lastArgv();
  // The quoted word is the address that the next pick replaces.
  pick(1, "ListIP2", QStringLiteral("127.0.0.5 (router)"));
  EXPECT_EQ(textCmd()->text().toStdString(), "ping -c1 -W1 127.0.0.5");

  // What the terminal's shell makes of them.
  const std::string bin = base_.path().toStdString() + "/bin";
  MakeStandIns(bin, {"ping", "id"});
  EXPECT_EQ(RunAsTheTerminal(noted, base_.path().toStdString(), bin),
            "ran ping [-c1] [-W1] [127.0.0.5]\n");
  EXPECT_EQ(RunAsTheTerminal(crafted, base_.path().toStdString(), bin),
            "ran ping [-c1] [-W1] [127.0.0.9;id>file]\n");
  EXPECT_FALSE(std::filesystem::exists(base_.path().toStdString() + "/file"));
}

TEST_F(FormMainDosTest, TheSingleDialogRefusesANameWithShellOrBlankCharacters) {
  const std::vector<std::string> unsafe = {
      "127.0.0.9;id>file", "a|b.lan",       "$(id).lan",     "`id`.lan",      "it's.lan",
      "tab\there.lan",     "-oops.lan",     "(only a note)", "x\xC2\xA0y.lan"};
  Load();
  openPanel();
  std::vector<std::string> refused;
  int shown = 0;
  // The first showing tries every unsafe name, then a noted address; the
  // second a plain name; the third leaves.
  w().ipListEditor()->setDialogRunner([&](QDialog& d) {
    auto& f = dynamic_cast<FormAddIP&>(d);
    if (++shown > 2) {
      f.Command2()->click();
      return;
    }
    if (shown == 1) {
      for (const std::string& typed : unsafe) {
        const auto before = fakes_.prompter->messages().size();
        f.Text2()->setText(QString::fromStdString(typed));
        f.Command1()->click();
        if (fakes_.prompter->messages().size() == before + 1 &&
            fakes_.prompter->messages().back().text ==
                QStringLiteral("Invalid IP entry, Please check.   "))
          refused.push_back(typed);
      }
    }
    f.Text2()->setText(QString::fromLatin1(shown == 1 ? "127.0.0.5 (router)" : "gw_1-a.lan"));
    f.Command1()->click();
  });
  pick(1, "ListIP2", QStringLiteral("Add a IP / URL"));
  EXPECT_EQ(shown, 3);
  EXPECT_EQ(refused, unsafe);
  EXPECT_EQ(testing_files::ReadFile(folder_ + "Tolvane_DB.txt"),
            "A127.0.0.1\r\nA127.0.0.2\r\nA127.0.0.5(router)\r\nAgw_1-a.lan\r\n \r\n");
}

TEST_F(FormMainDosTest, AHistoryLineNotInUtf8RunsAsStoredAndIsNotAddedAgain) {
  GivenHistory("echo K\xF6ln\r\narp -a\r\n \r\n");
  Load();
  openPanel();
  ASSERT_EQ(list("ListDOSHis")->item(0)->text(), QStringLiteral("echo K\u00F6ln"));
  click(list("ListDOSHis"), QStringLiteral("echo K\u00F6ln"));
  QTest::mouseClick(button(2), Qt::LeftButton);
  ASSERT_EQ(lastArgv().size(), 7u);
  EXPECT_EQ(lastArgv()[6], "echo K\xF6ln");
  QTest::mouseClick(button(4), Qt::LeftButton);
  EXPECT_EQ(HistoryBytes(), "echo K\xF6ln\r\narp -a\r\n \r\n");
  EXPECT_EQ(list("ListDOSHis")->count(), 2);

  // Changed, it is a new line, kept as typed.
  textCmd()->setText(QStringLiteral("echo K\u00F6ln -n"));
  QTest::mouseClick(button(2), Qt::LeftButton);
  EXPECT_EQ(lastArgv()[6], "echo K\xC3\xB6ln -n");
  EXPECT_EQ(HistoryBytes(), "echo K\xF6ln\r\narp -a\r\necho K\xC3\xB6ln -n\r\n \r\n");
  EXPECT_TRUE(fakes_.prompter->messages().isEmpty());
}

TEST_F(FormMainDosTest, EveryReadyMadeCommandRunsOrSaysWhichPackageBringsItsProgram) {
  // What a plain desktop installation has: the required and important
  // packages (iproute2, iputils-ping, e2fsprogs, libc-bin, mount, bash,
  // procps, coreutils).
  const std::vector<std::string> plain = {"ip",   "ss",  "ping", "lsattr", "getent", "mount",
                                          "bash", "w",   "who",  "ls",     "cat",    "hostname"};
  // The programs that do each job of the list, in the list's order.
  const std::vector<std::set<std::string>> jobs = {
      {"traceroute", "tracepath", "mtr"},  // Tracert
      {"ss", "netstat"},                   // Netstat
      {"nmblookup"},                       // Nbtstat
      {"ip"}, {"ip"},                      // Ipconfig, Ipconfig /all
      {"ip", "arp"}, {"ip", "arp"}, {"ip", "arp"},  // ARP, ARP -a, ARP -d
      {"finger", "w", "who", "pinky"},     // Finger
      {"ip", "route"},                     // Route
      {"ping"},                            // Ping
      {"mtr", "tracepath"},                // PathPing
      {"lsattr"},                          // Attrib
      {"nslookup", "getent", "host", "dig"},  // NsLookup
      {"smbtree", "nmblookup"},            // net view
      {"mount", "smbclient"},              // net use
      {"smbstatus"},                       // net session
      {"bash", "man", "help"},             // Help
  };
  const std::map<std::string, std::string> packages = {
      {"traceroute", "traceroute"}, {"tracepath", "iputils-tracepath"}, {"nmblookup", "samba-common-bin"},
      {"finger", "finger"},         {"mtr", "mtr-tiny"},                {"smbtree", "smbclient"},
      {"smbclient", "smbclient"},   {"smbstatus", "samba"},             {"nslookup", "bind9-dnsutils"},
      {"netstat", "net-tools"},     {"arp", "net-tools"},               {"route", "net-tools"},
      {"host", "bind9-host"},       {"dig", "bind9-dnsutils"},          {"help", "bash"}};
  const std::string bin = base_.path().toStdString() + "/bin";
  MakeStandIns(bin, plain);

  Load();
  openPanel();
  find<QCheckBox>(QStringLiteral("CheckAutoAdd"))->setChecked(false);
  const std::vector<std::string> commands = items("ListCmd");
  ASSERT_EQ(commands.size(), jobs.size());
  for (std::size_t i = 0; i < commands.size(); ++i) {
    SCOPED_TRACE(commands[i]);
    pick(0, "ListCmd", QString::fromStdString(commands[i]));
    QTest::mouseClick(button(2), Qt::LeftButton);
    const std::string command = lastArgv().size() > 6 ? lastArgv()[6] : std::string();
    EXPECT_EQ(command, commands[i]);
    const std::string program = command.substr(0, command.find(' '));
    EXPECT_TRUE(jobs[i].count(program)) << program << " does another job";
    const std::string said = RunAsTheTerminal(lastArgv(), base_.path().toStdString(), bin);
    if (std::find(plain.begin(), plain.end(), program) != plain.end()) {
      EXPECT_EQ(said.rfind("ran " + program, 0), 0u) << said;
    } else {
      ASSERT_TRUE(packages.count(program)) << program;
      EXPECT_NE(said.find(program + " is not installed"), std::string::npos) << said;
      EXPECT_NE(said.find("Debian package " + packages.at(program)), std::string::npos) << said;
    }
    EXPECT_EQ(said.find("not found"), std::string::npos) << said;
  }
}

}  // namespace
}  // namespace sondrel
