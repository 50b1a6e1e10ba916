// The command history file: its default, loading what a hand edit may leave
// in it, the changes and their bytes, and a rewrite that fails.
#include <gtest/gtest.h>

#include <cerrno>

#include "core/command/CommandHistory.h"
#include "core/command/TerminalCommand.h"
#include "fakes/FakeFileService.h"

namespace sondrel {
namespace {

const std::string kPath = "/data/Tolvane_DB2.txt";

const char kDefaultBytes[] =
    "traceroute www.wikipedia.org\r\n"
    "traceroute www.debian.org\r\n"
    "ip addr\r\n"
    "hostname\r\n"
    "hostnamectl\r\n"
    "smbtree\r\n"
    "cp -r ~/test ~/test2\r\n"
    "netstat\r\n"
    "nslookup www.debian.org\r\n"
    "arp -a\r\n"
    "arp -d\r\n"
    " \r\n";

class CommandHistoryTest : public ::testing::Test {
 protected:
  fakes::FakeFileService files_;
  CommandHistory history_{files_, kPath};

  void Given(const std::string& bytes) { files_.files[kPath] = bytes; }
  const std::string& Bytes() { return files_.files[kPath]; }
  std::vector<std::string> Lines(int from, int to) {
    std::vector<std::string> lines;
    for (int i = from; i <= to; ++i) lines.push_back("cmd " + std::to_string(i));
    return lines;
  }
};

TEST_F(CommandHistoryTest, TheFirstStartWritesTheDefaultAndAnEmptyFileIsNeverRefilled) {
  ASSERT_TRUE(history_.LoadHistory());
  EXPECT_EQ(Bytes(), kDefaultBytes);
  EXPECT_EQ(history_.HistoryLines().size(), 11u);
  EXPECT_EQ(history_.HistoryShown(), history_.HistoryLines());

  ASSERT_TRUE(history_.DeleteAllHistory());
  EXPECT_TRUE(files_.fileExists(kPath));
  EXPECT_EQ(Bytes(), "");
  EXPECT_TRUE(history_.HistoryLines().empty());
  ASSERT_TRUE(history_.LoadHistory());
  EXPECT_EQ(Bytes(), "") << "an emptied history stays empty";

  ASSERT_TRUE(history_.AddToHistory("ip route"));
  EXPECT_EQ(Bytes(), "ip route\r\n \r\n");
}

TEST_F(CommandHistoryTest, WhatAHandEditLeavesLoadsTrimmedUpToTheFirstEmptyLine) {
  Given("   ping 127.0.0.1  \r\nip addr\n\tx\r\n  \r\nkept after\r\n\r\nmore\r\n");
  ASSERT_TRUE(history_.LoadHistory());
  EXPECT_EQ(history_.HistoryLines(),
            (std::vector<std::string>{"ping 127.0.0.1", "ip addr", "\tx"}));
  EXPECT_EQ(history_.TailLines(), 2);

  // A rewrite keeps what stood after the empty line, unchanged.
  ASSERT_TRUE(history_.AddToHistory("arp -a"));
  EXPECT_EQ(Bytes(), "ping 127.0.0.1\r\nip addr\r\n\tx\r\narp -a\r\n \r\nkept after\r\n\r\nmore\r\n");
}

TEST_F(CommandHistoryTest, LongLinesNulBytesAndManyLinesLoadWhole) {
  std::string bytes = std::string(1 << 20, 'x') + "\r\n";
  bytes += std::string("a\0b", 3) + "\r\n";
  for (int i = 0; i < 100000; ++i) bytes += "line " + std::to_string(i) + "\r\n";
  Given(bytes);
  ASSERT_TRUE(history_.LoadHistory());
  ASSERT_EQ(history_.HistoryLines().size(), 100002u);
  EXPECT_EQ(history_.HistoryLines()[0].size(), std::size_t{1} << 20);
  EXPECT_EQ(history_.HistoryLines()[1], std::string("a\0b", 3));
  EXPECT_EQ(history_.HistoryLines().back(), "line 99999");
  ASSERT_TRUE(history_.ToggleHistorySort());
  EXPECT_EQ(history_.HistoryShown().size(), 100002u);
}

TEST_F(CommandHistoryTest, AddingComparesWithLetterCase) {
  Given("arp -a\r\n \r\n");
  ASSERT_TRUE(history_.LoadHistory());
  ASSERT_TRUE(history_.AddToHistory("arp -a"));
  EXPECT_EQ(Bytes(), "arp -a\r\n \r\n");
  ASSERT_TRUE(history_.AddToHistory(""));
  EXPECT_EQ(Bytes(), "arp -a\r\n \r\n");
  ASSERT_TRUE(history_.AddToHistory("ARP -a"));
  EXPECT_EQ(Bytes(), "arp -a\r\nARP -a\r\n \r\n");
}

TEST_F(CommandHistoryTest, DeletingALineDeletesItsDuplicatesToo) {
  Given("netstat\r\nip addr\r\nnetstat\r\nhostname\r\n \r\n");
  ASSERT_TRUE(history_.LoadHistory());
  ASSERT_TRUE(history_.DeleteSelectedHistory({"netstat"}));
  EXPECT_EQ(Bytes(), "ip addr\r\nhostname\r\n \r\n");
  EXPECT_EQ(history_.HistoryLines(), (std::vector<std::string>{"ip addr", "hostname"}));
}

TEST_F(CommandHistoryTest, KeepingTheLastTenOfFewerOrMoreLines) {
  Given("cmd 1\r\ncmd 2\r\ncmd 3\r\ncmd 4\r\n \r\n");
  ASSERT_TRUE(history_.LoadHistory());
  ASSERT_TRUE(history_.KeepLastHistory(10));
  EXPECT_EQ(history_.HistoryLines(), Lines(1, 4));

  std::string bytes;
  for (const auto& l : Lines(1, 25)) bytes += l + "\r\n";
  Given(bytes + " \r\n");
  ASSERT_TRUE(history_.LoadHistory());
  ASSERT_TRUE(history_.KeepLastHistory(10));
  EXPECT_EQ(history_.HistoryLines(), Lines(16, 25));
  EXPECT_EQ(Bytes().substr(0, 8), "cmd 16\r\n");
}

TEST_F(CommandHistoryTest, AFailedRewriteLeavesTheOldFileAndSaysWhy) {
  Given("ip addr\r\n \r\n");
  ASSERT_TRUE(history_.LoadHistory());
  files_.failOnce("write", "Tolvane_DB2", ENOSPC);
  const Result<void> added = history_.AddToHistory("netstat");
  ASSERT_FALSE(added);
  EXPECT_NE(added.error().message.find("No space left on device"), std::string::npos)
      << added.error().message;
  EXPECT_EQ(Bytes(), "ip addr\r\n \r\n");
  EXPECT_EQ(history_.HistoryLines(), (std::vector<std::string>{"ip addr"}));

  files_.failOnce("write", "Tolvane_DB2", EIO);
  EXPECT_FALSE(history_.DeleteAllHistory());
  EXPECT_EQ(Bytes(), "ip addr\r\n \r\n");

  // No file and none can be made: the load says so.
  fakes::FakeFileService empty;
  empty.failOnce("write", "Tolvane_DB2", EACCES);
  CommandHistory none(empty, kPath);
  EXPECT_FALSE(none.LoadHistory());
  EXPECT_TRUE(none.HistoryLines().empty());
}

TEST_F(CommandHistoryTest, SortingChangesOnlyTheDisplayAndSurvivesReloads) {
  Given("netstat\r\narp -a\r\nip addr\r\n \r\n");
  ASSERT_TRUE(history_.LoadHistory());
  ASSERT_TRUE(history_.ToggleHistorySort());
  EXPECT_TRUE(history_.HistorySorted());
  EXPECT_EQ(history_.HistoryShown(), (std::vector<std::string>{"arp -a", "ip addr", "netstat"}));
  EXPECT_EQ(history_.HistoryLines(), (std::vector<std::string>{"netstat", "arp -a", "ip addr"}));
  EXPECT_EQ(Bytes(), "netstat\r\narp -a\r\nip addr\r\n \r\n");

  // A change while sorted shows file order; the flag stays, so the next
  // press goes back to file order and the one after sorts again.
  ASSERT_TRUE(history_.AddToHistory("hostname"));
  EXPECT_TRUE(history_.HistorySorted());
  EXPECT_EQ(history_.HistoryShown().back(), "hostname");
  ASSERT_TRUE(history_.ToggleHistorySort());
  EXPECT_FALSE(history_.HistorySorted());
  EXPECT_EQ(history_.HistoryShown().front(), "netstat");
  ASSERT_TRUE(history_.ToggleHistorySort());
  EXPECT_EQ(history_.HistoryShown().front(), "arp -a");
}

TEST(InsertAddress, TheWordWithTheFirstDotTakesTheAddress) {
  struct Case {
    const char* command;
    const char* address;
    const char* expected;
  };
  const Case cases[] = {
      {"ping 10.0.0.1 -t", "10.0.0.2", "ping 10.0.0.2 -t"},
      {"ipconfig", "10.0.0.2", "ipconfig 10.0.0.2"},
      {"  ping  ", "127.0.0.1", "ping 127.0.0.1"},
      {"", "127.0.0.1", "127.0.0.1"},
      {"traceroute www.debian.org", "127.0.0.1", "traceroute 127.0.0.1"},
      {"www.debian.org", "127.0.0.1", "127.0.0.1"},
      {"ping 10.0.0.1 && mtr 10.0.0.1", "10.0.0.9", "ping 10.0.0.9 && mtr 10.0.0.9"},
      // The address holds the old word: it is put in once, not again.
      {"ping 10.0.0.1 -c 2", "10.0.0.10", "ping 10.0.0.10 -c 2"},
      // A list item goes in without its note, quoted where a shell would
      // read more than one name in it; a quoted word is replaced whole.
      {"ping -c1 -W1", "127.0.0.5 (router)", "ping -c1 -W1 127.0.0.5"},
      {"ping 127.0.0.1 -c 1", "127.0.0.9;id>file", "ping '127.0.0.9;id>file' -c 1"},
      {"ping '127.0.0.9;id>file' -c 1", "gw-1.lan", "ping gw-1.lan -c 1"},
      {"ping \"a b.lan\" -c 1", "127.0.0.2", "ping 127.0.0.2 -c 1"},
      {"ping", "it's.lan", "ping 'it'\\''s.lan'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    EXPECT_EQ(InsertAddress(c.command, c.address), c.expected);
  }
}

TEST(TerminalArgv, TheCommandIsOneUnchangedArgumentAfterTheScript) {
  const std::string command = R"(echo "a;b" 'c d' $HOME; ls &)";
  const std::string script =
      "case :$PATH: in *:/usr/sbin:*) ;; *) PATH=$PATH:/usr/sbin:/sbin ;; esac; "
      "if [ -z \"$2\" ] || command -v \"$2\" >/dev/null 2>&1; then eval \"$1\"; "
      "else printf '%s\\n' \"$3\"; fi; exec \"${SHELL:-sh}\"";
  EXPECT_EQ(TerminalArgv("/usr/bin/xterm", command),
            (std::vector<std::string>{"/usr/bin/xterm", "-e", "sh", "-c", script, "sh", command}));
  EXPECT_EQ(TerminalArgv("/usr/bin/gnome-terminal", "ls # all"),
            (std::vector<std::string>{"/usr/bin/gnome-terminal", "--", "sh", "-c", script, "sh",
                                      "ls # all"}));
  // A program a desktop may lack: its name and where to get it follow, for
  // the script to say instead of running it.
  EXPECT_EQ(TerminalArgv("/usr/bin/xterm", "sudo LANG=C nmblookup -A 127.0.0.1"),
            (std::vector<std::string>{
                "/usr/bin/xterm", "-e", "sh", "-c", script, "sh",
                "sudo LANG=C nmblookup -A 127.0.0.1", "nmblookup",
                "nmblookup is not installed. It comes with the Debian package samba-common-bin: "
                "sudo apt install samba-common-bin"}));
  EXPECT_EQ(TerminalArgv("/usr/bin/xterm", "/opt/mtr").size(), 7u);
  const std::string text = NoTerminalText();
  for (const char* name : {"$TERMINAL", "x-terminal-emulator", "gnome-terminal", "konsole", "xterm"})
    EXPECT_NE(text.find(name), std::string::npos) << name;
}

}  // namespace
}  // namespace sondrel
