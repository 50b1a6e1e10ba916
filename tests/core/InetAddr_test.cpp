// The address parser gives what the C library's inet_addr gives, for the
// forms users type and for the odd ones the echo module also takes.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>

#include "core/common/InetAddr.h"

namespace sondrel {
namespace {

TEST(InetAddr, AgreesWithTheCLibraryOnEveryForm) {
  const char* cases[] = {
      "127.0.0.1", "10.1.2.3", "0.0.0.0", "255.255.255.254", "255.255.255.255",
      // short forms: the last part fills the bytes left
      "10.1.515", "10.66051", "167838211", "4294967295", "4294967296", "1.16777215",
      "1.16777216", "1.2.65535", "1.2.65536", "1.2.3.256",
      // octal and hex parts
      "010.0.0.1", "08.0.0.1", "0x7f.1", "0X7F.0.0.1", "0x", "0x.1.2.3", "0xg", "00000000012",
      // whitespace ends the address; anything else after it is wrong
      "1.2.3.4 junk", "1.2.3.4\tx", "1.2.3.4x", " 1.2.3.4", "1.2.3.4.", "1.2.3.4.5", "1..2",
      ".1.2.3", "", "-1", "+1", "1.-2", "a.b.c.d", "99999999999999999999999", "1.2.3.04",
      "1.2.3.0x4"};
  for (const char* text : cases)
    EXPECT_EQ(InetAddr(text), ::inet_addr(text)) << '"' << text << '"';
  // A NUL ends the text as it would a C string.
  EXPECT_EQ(InetAddr(std::string("10.0.0.1\0junk", 13)), ::inet_addr("10.0.0.1"));
  EXPECT_EQ(InetAddr("255.255.255.255"), kInetAddrNone);
}

}  // namespace
}  // namespace sondrel
