#include <gtest/gtest.h>

#include <map>

#include "core/iplist/Targets.h"

namespace sondrel {
namespace {

NameResolver table(std::map<std::string, std::string> names) {
  return [names = std::move(names)](const std::string& n) {
    auto it = names.find(n);
    return it == names.end() ? std::string() : it->second;
  };
}

TEST(Targets, ResolveGivesCanonicalAddressesAndLabelsNames) {
  RunTargetState s;
  auto resolve = table({{"gw.lan", "10.0.0.1"}});
  // Leading zeros would be octal to the echo; blanks would make it refuse.
  EXPECT_EQ(ResolveTarget(s, "010.001.000.001", resolve), "10.1.0.1");
  EXPECT_EQ(ResolveTarget(s, " 10.0.0.2 (note)", resolve), "10.0.0.2");
  EXPECT_EQ(ResolveTarget(s, " 10.0.0.3", resolve), "10.0.0.3");
  EXPECT_EQ(ResolveTarget(s, "10.0.0.300", resolve), "10.0.0.300") << "malformed: the echo reports it";
  EXPECT_EQ(ResolveTarget(s, "gw.lan (router)", resolve), "10.0.0.1");
  EXPECT_EQ(ResolveTarget(s, "unknown.lan", resolve), "");
  EXPECT_EQ(s.TargetAddresses, (std::vector<std::string>{"10.1.0.1", "10.0.0.2", "10.0.0.3",
                                                         "10.0.0.300", "10.0.0.1"}));
  EXPECT_EQ(s.TargetLabels, (std::vector<std::string>{"10.1.0.1", "10.0.0.2", "10.0.0.3",
                                                      "10.0.0.300", "gw.lan / 10.0.0.1"}));
  EXPECT_EQ(s.UnresolvedCount, 0) << "ResolveTarget alone does not count failures";
}

TEST(Targets, RangesWalkTheOctetBoxInBothDirections) {
  RunTargetState up;
  ExpandRange(up, "192.168.1.1", "192.168.1.254");
  ASSERT_EQ(up.TargetCount(), 254u);
  EXPECT_EQ(up.TargetAddresses.front(), "192.168.1.1");
  EXPECT_EQ(up.TargetAddresses.back(), "192.168.1.254");
  EXPECT_FALSE(up.LongAddressFlag) << "192.168.1.254 is 13 characters";
  RunTargetState longOnes;
  ExpandRange(longOnes, "192.168.100.10", "192.168.100.11");
  EXPECT_TRUE(longOnes.LongAddressFlag);

  RunTargetState box;
  ExpandRange(box, "10.0.0.250", "10.0.1.5");
  ASSERT_EQ(box.TargetCount(), 492u);
  EXPECT_EQ(box.TargetAddresses[0], "10.0.0.250");
  EXPECT_EQ(box.TargetAddresses[1], "10.0.0.249");
  EXPECT_EQ(box.TargetAddresses[245], "10.0.0.5");
  EXPECT_EQ(box.TargetAddresses[246], "10.0.1.250");
  EXPECT_EQ(box.TargetAddresses[491], "10.0.1.5");
  EXPECT_FALSE(box.LongAddressFlag);

  RunTargetState reversed;
  ExpandRange(reversed, "10.0.0.9", "10.0.0.7");
  EXPECT_EQ(reversed.TargetAddresses, (std::vector<std::string>{"10.0.0.9", "10.0.0.8", "10.0.0.7"}));
  RunTargetState one;
  ExpandRange(one, "10.0.0.7", "10.0.0.7");
  EXPECT_EQ(one.TargetLabels, std::vector<std::string>{"10.0.0.7"});

  RunTargetState bad;
  ExpandRange(bad, "10.0.0", "10.0.0.7");
  ExpandRange(bad, "10.0.0.1", "10.0.0.300");
  EXPECT_EQ(bad.TargetCount(), 0u) << "malformed ends give nothing rather than garbage";
}

TEST(Targets, HugeRangesStopAtTheCap) {
  RunTargetState s;
  ExpandRange(s, "10.0.0.0", "10.1.255.255");
  EXPECT_EQ(s.TargetCount(), kMaxTargets);
  EXPECT_TRUE(s.Truncated);
  EXPECT_EQ(s.TargetAddresses.back(), "10.0.255.255") << "a whole /16 still fits";

  EXPECT_EQ(TruncationReportText(s),
            "The selection holds more than 65536 addresses; only the first 65536 are used.");

  RunTargetState all;
  ExpandRange(all, "0.0.0.0", "255.255.255.255");
  EXPECT_EQ(all.TargetCount(), kMaxTargets);

  // Exactly the cap is not a cut.
  RunTargetState whole;
  ExpandRange(whole, "10.5.0.0", "10.5.255.255");
  EXPECT_FALSE(whole.Truncated);
  EXPECT_EQ(TruncationReportText(whole), "");
}

TEST(Targets, EntriesOfEachKind) {
  auto resolve = table({{"host.lan", "10.1.1.1"}});
  RunTargetState s;
  ExpandEntry(s, "A  192.168.100.10  ", resolve);
  EXPECT_TRUE(s.LongAddressFlag) << "14 characters";
  ExpandEntry(s, "BTitle,10.0.0.1 (note),host.lan,nobody.lan, 10.0.0.2", resolve);
  ExpandEntry(s, "CR,10.0.0.3,10.0.0.4", resolve);
  ExpandEntry(s, "Xjunk", resolve);
  ExpandEntry(s, "", resolve);
  EXPECT_EQ(s.TargetAddresses, (std::vector<std::string>{"192.168.100.10", "10.0.0.1", "10.1.1.1",
                                                         "10.0.0.2", "10.0.0.3", "10.0.0.4"}));
  EXPECT_EQ(s.TargetLabels[1], "10.0.0.1") << "the note is dropped from the label too";
  EXPECT_EQ(s.TargetLabels[2], "host.lan / 10.1.1.1");
  EXPECT_EQ(s.UnresolvedCount, 1);
  EXPECT_EQ(s.UnresolvedText, "\r\n       nobody.lan");
  // The group's and the range's targets noted under their titles.
  ASSERT_EQ(s.TargetGroups.size(), 2u);
  EXPECT_EQ(s.TargetGroups[0].name, "Title");
  EXPECT_EQ(s.TargetGroups[0].first, 1u);
  EXPECT_EQ(s.TargetGroups[0].count, 3u) << "the name that did not resolve is no target";
  EXPECT_EQ(s.TargetGroups[1].name, "R");
  EXPECT_EQ(GroupOf(s.TargetGroups, 4), "R");
  EXPECT_EQ(GroupOf(s.TargetGroups, 0), "") << "a single entry is in no group";

  RunTargetState short_;
  ExpandEntry(short_, "A10.0.0.1", resolve);
  EXPECT_FALSE(short_.LongAddressFlag);
}

TEST(Targets, CollectionTakesTheFirstCaseThatApplies) {
  auto resolve = table({{"named", "10.9.9.9"}});
  const std::vector<std::string> entries = {"A10.0.0.1", "A10.0.0.2", "BG,10.0.1.1,10.0.1.2",
                                            "CR,10.0.2.1,10.0.2.3"};
  CollectRequest base;
  base.entries = entries;
  base.currentIndex = 1;
  base.currentText = "10.0.0.2";

  {  // pending single wins for a ping test, and only it
    CollectRequest r = base;
    r.PendingSingle = "named";
    r.PendingRange = "CX,1.1.1.1,1.1.1.2";
    r.selected = {0};
    auto res = CollectTargets(r, resolve);
    EXPECT_EQ(res.targets.TargetLabels, std::vector<std::string>{"named / 10.9.9.9"});
  }
  {  // pending group
    CollectRequest r = base;
    r.PendingGroup = "BNew,10.5.5.5,10.5.5.6";
    auto res = CollectTargets(r, resolve);
    EXPECT_EQ(res.targets.TargetAddresses, (std::vector<std::string>{"10.5.5.5", "10.5.5.6"}));
  }
  {  // a scan takes only the pending range
    CollectRequest r = base;
    r.purpose = CollectPurpose::Scan;
    r.PendingSingle = "named";
    r.PendingRange = "CX,1.1.1.1,1.1.1.2";
    EXPECT_EQ(CollectTargets(r, resolve).targets.TargetCount(), 2u);
  }
  {  // no current item: the target box
    CollectRequest r = base;
    r.currentIndex = -1;
    r.textPing = "nobody";
    auto res = CollectTargets(r, resolve);
    EXPECT_EQ(res.targets.TargetCount(), 0u);
    EXPECT_EQ(res.targets.UnresolvedCount, 1);
    EXPECT_FALSE(res.nothingToTest);
  }
  for (const char* box : {"", "   "}) {  // an empty box with no current item: nothing to test
    CollectRequest r = base;
    r.currentIndex = -1;
    r.textPing = box;
    auto res = CollectTargets(r, resolve);
    EXPECT_TRUE(res.nothingToTest);
    EXPECT_EQ(res.targets.UnresolvedCount, 0);
  }
  {  // selected items in ascending order
    CollectRequest r = base;
    r.selected = {3, 0, 2, 0, 9};
    auto res = CollectTargets(r, resolve);
    EXPECT_EQ(res.targets.TargetAddresses,
              (std::vector<std::string>{"10.0.0.1", "10.0.1.1", "10.0.1.2", "10.0.2.1", "10.0.2.2",
                                        "10.0.2.3"}));
    EXPECT_FALSE(res.markCurrentSelected);
  }
  {  // nothing selected: the current item is taken and shown selected
    CollectRequest r = base;
    auto res = CollectTargets(r, resolve);
    EXPECT_EQ(res.targets.TargetAddresses, std::vector<std::string>{"10.0.0.2"});
    EXPECT_TRUE(res.markCurrentSelected);
  }
  {  // a current item without text: nothing to test
    CollectRequest r = base;
    r.currentText.clear();
    EXPECT_TRUE(CollectTargets(r, resolve).nothingToTest);
  }
}

TEST(Targets, UnresolvedReportCutsLongLists) {
  RunTargetState few;
  few.UnresolvedCount = 2;
  few.UnresolvedText = "\r\n       a.lan\r\n       b.lan";
  EXPECT_EQ(UnresolvedReportText(few),
            "Cannot find the IP address for the following 2 host:\r\n\r\n       a.lan\r\n       b.lan");

  RunTargetState many;
  CollectRequest r;
  r.currentIndex = 0;
  r.currentText = "G";
  std::string group = "BG";
  for (int i = 0; i < 11; ++i) group += ",name" + std::to_string(i) + ".lan";
  r.entries = {group};
  auto res = CollectTargets(r, table({}));
  EXPECT_EQ(res.targets.UnresolvedCount, 11);
  // The list is cut after its first 20 characters: the first name's line.
  EXPECT_EQ(UnresolvedReportText(res.targets),
            "Cannot find the IP address for the following 11 host:\r\n"
            "\r\n       name0.lan\r\n  ........");
  EXPECT_EQ(UnresolvedReportText(RunTargetState{}), "");
}

TEST(Targets, NamesToResolveListsEachNameOnceInOrder) {
  CollectRequest r;
  r.currentIndex = 0;
  r.currentText = "x";
  r.entries = {"Bg,b.lan,10.0.0.1,a.lan,b.lan", "Ac.lan"};
  r.selected = {0, 1};
  EXPECT_EQ(NamesToResolve(r), (std::vector<std::string>{"b.lan", "a.lan", "c.lan"}));
}

}  // namespace
}  // namespace sondrel
