#include "platform/Resolver_linux.h"
#include "support/SkipMissing.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace sondrel {
namespace {

TEST(SystemResolver, NamesFromTheHostsFile) {
  auto resolver = SystemResolver();
  EXPECT_EQ(resolver->firstIPv4("localhost"), "127.0.0.1");
  EXPECT_EQ(resolver->nameOf("127.0.0.1"), "localhost");
  // A dotted address is its own first address.
  EXPECT_EQ(resolver->firstIPv4("127.0.0.9"), "127.0.0.9");
}

TEST(SystemResolver, UnknownNamesAndBadAddressesGiveEmptyText) {
  auto resolver = SystemResolver();
  EXPECT_EQ(resolver->firstIPv4(""), "");
  EXPECT_EQ(resolver->nameOf(""), "");
  EXPECT_EQ(resolver->nameOf("not an address"), "");
  EXPECT_EQ(resolver->nameOf("300.1.1.1"), "");
  const char* isolated = std::getenv("SONDREL_ISOLATED");
  if (!isolated || std::string(isolated) != "1") {
    SONDREL_SKIP_MISSING("a lookup of an unknown name would leave the machine");
  }
  EXPECT_EQ(resolver->firstIPv4("no-such-host.invalid"), "");
  EXPECT_EQ(resolver->nameOf("127.0.0.77"), "");
}

}  // namespace
}  // namespace sondrel
