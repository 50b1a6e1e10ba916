// The list order against the documented exchange sort, which is kept as the
// reference here: for i, for j > i, swap when the key of i is greater.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/common/AddressHelpers.h"

namespace sondrel {
namespace {

std::vector<std::string> exchangeSorted(std::vector<std::string> v) {
  for (size_t i = 0; i < v.size(); ++i)
    for (size_t j = i + 1; j < v.size(); ++j)
      if (IPSortKey(v[i]) > IPSortKey(v[j])) std::swap(v[i], v[j]);
  return v;
}

TEST(SortEntries, EqualsTheExchangeSortOnRandomListsWithDuplicates) {
  // List lines (their keys are the lines, so equal keys are equal lines) and
  // bare addresses, where different texts share a key.
  const std::vector<std::string> pool = {
      "A10.0.0.1",       "A9.9.9.9",   "Ahost.lan",  "BG,1.1.1.1", "BG,1.1.1.2", "CR,1.1.1.1,1.1.1.9",
      "1.2.3.4",         "001.002.003.004", "01.2.3.4", "1.2.3.04", "5.5.5.5",  "0.0.0.1",
      "name",            "Name",       "10.0.0.1",   "010.0.0.1"};
  std::mt19937 random(20261208);
  for (int round = 0; round < 300; ++round) {
    const size_t size = 1 + random() % 40;
    // Some rounds draw only list lines, the others from the whole pool.
    const size_t choices = round % 2 == 0 ? 6 : pool.size();
    std::vector<std::string> v;
    for (size_t i = 0; i < size; ++i) v.push_back(pool[random() % choices]);
    const std::vector<std::string> expected = exchangeSorted(v);
    SortEntries(v);
    ASSERT_EQ(v, expected) << "round " << round;
  }
}

TEST(SortEntries, SharedKeysOfDifferentTextsKeepTheExchangeOrder) {
  // The exchange sort moves texts of one key past each other: the later of
  // the two texts under one key ends first here, unlike a stable sort.
  std::vector<std::string> v = {"002.0.0.1", "2.0.0.1", "1.0.0.1"};
  SortEntries(v);
  EXPECT_EQ(v, (std::vector<std::string>{"1.0.0.1", "2.0.0.1", "002.0.0.1"}));
}

}  // namespace
}  // namespace sondrel
