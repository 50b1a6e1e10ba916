#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/IcmpPacket_linux.h"

namespace sondrel::icmp {
namespace {

std::uint32_t Addr(const char* dotted) { return inet_addr(dotted); }

// An IPv4 header of 20 bytes (or longer with options) carrying ICMP.
std::vector<std::uint8_t> IpHeader(const char* from, const char* to, std::uint8_t ttl,
                                   std::size_t optionBytes = 0) {
  std::vector<std::uint8_t> h(20 + optionBytes, 0);
  h[0] = static_cast<std::uint8_t>(0x40 | (h.size() / 4));
  h[8] = ttl;
  h[9] = 1;
  const std::uint32_t f = Addr(from), t = Addr(to);
  std::memcpy(&h[12], &f, 4);
  std::memcpy(&h[16], &t, 4);
  return h;
}

std::vector<std::uint8_t> Join(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<std::uint8_t> Echo(std::uint8_t type, std::uint16_t id, std::uint16_t seq, const std::string& data) {
  std::vector<std::uint8_t> p;
  BuildEchoRequest(p, id, seq, data);
  p[0] = type;
  p[2] = p[3] = 0;
  const std::uint16_t sum = Checksum(p.data(), p.size());
  p[2] = static_cast<std::uint8_t>(sum >> 8);
  p[3] = static_cast<std::uint8_t>(sum);
  return p;
}

// A raw packet (IP header first) with its ICMP checksum made right again.
std::vector<std::uint8_t> Sealed(std::vector<std::uint8_t> packet) {
  const std::size_t ihl = (packet[0] & 0x0f) * 4u;
  packet[ihl + 2] = packet[ihl + 3] = 0;
  const std::uint16_t sum = Checksum(packet.data() + ihl, packet.size() - ihl);
  packet[ihl + 2] = static_cast<std::uint8_t>(sum >> 8);
  packet[ihl + 3] = static_cast<std::uint8_t>(sum);
  return packet;
}

TEST(IcmpPacket, RequestHasHeaderPayloadAndAChecksumThatVerifies) {
  for (const std::string& payload : {std::string(), std::string("abc"), std::string(32000, 'z')}) {
    std::vector<std::uint8_t> p;
    BuildEchoRequest(p, 0x1234, 0xbeef, payload);
    ASSERT_EQ(p.size(), 8 + payload.size());
    EXPECT_EQ(p[0], kEchoRequest);
    EXPECT_EQ(p[1], 0);
    EXPECT_EQ(p[4], 0x12);
    EXPECT_EQ(p[5], 0x34);
    EXPECT_EQ(p[6], 0xbe);
    EXPECT_EQ(p[7], 0xef);
    EXPECT_EQ(std::string(p.begin() + 8, p.end()), payload);
    EXPECT_EQ(Checksum(p.data(), p.size()), 0) << "a packet with its checksum sums to zero";
  }
  // RFC 1071's worked example: 0x0001 f203 f4f5 f6f7 sums to 0xddf2.
  const std::uint8_t sample[] = {0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7};
  EXPECT_EQ(Checksum(sample, sizeof sample), static_cast<std::uint16_t>(~0xddf2));
}

TEST(IcmpPacket, ErrorsMapToStatusCodes) {
  struct Case {
    std::uint8_t type, code;
    std::int32_t status;
  };
  const Case cases[] = {
      {3, 0, 11002},  {3, 1, 11003},  {3, 2, 11004},  {3, 3, 11005},  {3, 4, 11009},
      {3, 5, 11012},  {3, 6, 11002},  {3, 7, 11003},  {3, 10, 11003}, {3, 13, 11004},
      {11, 0, 11013}, {11, 1, 11014}, {12, 0, 11015}, {12, 1, 11015}, {4, 0, 11016},
      {5, 0, 11050},  {0, 0, 11050},  {8, 0, 11050},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StatusOfIcmpError(c.type, c.code), c.status) << "type " << +c.type << " code " << +c.code;
  }
  EXPECT_EQ(StatusOfErrno(ENETUNREACH), 11002);
  EXPECT_EQ(StatusOfErrno(EHOSTUNREACH), 11003);
  EXPECT_EQ(StatusOfErrno(EMSGSIZE), 11009);
  EXPECT_EQ(StatusOfErrno(ENOBUFS), 11006);
  EXPECT_EQ(StatusOfErrno(EPERM), 11050);
}

TEST(IcmpPacket, RawReplyIsOursOnlyWithOurIdentifier) {
  const auto packet = Join(IpHeader("127.0.0.9", "127.0.0.1", 61), Echo(kEchoReply, 77, 5, "payload"));
  Received r = ParseRawPacket(packet.data(), packet.size(), 77);
  ASSERT_TRUE(r.ours);
  EXPECT_FALSE(r.error);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.sequence, 5);
  EXPECT_EQ(r.ttl, 61);
  EXPECT_EQ(r.from, Addr("127.0.0.9"));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.data), r.size), "payload");

  EXPECT_FALSE(ParseRawPacket(packet.data(), packet.size(), 78).ours) << "another program's reply";
  // With IP options the ICMP part starts later.
  const auto withOptions = Join(IpHeader("127.0.0.9", "127.0.0.1", 64, 8), Echo(kEchoReply, 77, 6, "x"));
  r = ParseRawPacket(withOptions.data(), withOptions.size(), 77);
  ASSERT_TRUE(r.ours);
  EXPECT_EQ(r.sequence, 6);
  EXPECT_EQ(r.size, 1u);
}

TEST(IcmpPacket, RawPacketsThatAreNotRepliesOfOursAreIgnored) {
  const auto ownRequest = Join(IpHeader("127.0.0.1", "127.0.0.1", 64), Echo(kEchoRequest, 77, 5, "p"));
  auto notIcmp = Join(IpHeader("127.0.0.1", "127.0.0.1", 64), Echo(kEchoReply, 77, 5, "p"));
  notIcmp[9] = 17;
  auto notV4 = notIcmp;
  notV4[9] = 1;
  notV4[0] = 0x65;
  const auto full = Join(IpHeader("127.0.0.1", "127.0.0.1", 64), Echo(kEchoReply, 77, 5, "p"));
  const std::vector<std::uint8_t> cut(full.begin(), full.begin() + 25);
  const std::vector<std::vector<std::uint8_t>> packets = {ownRequest, notIcmp, notV4, cut, {}};
  for (const auto& p : packets) EXPECT_FALSE(ParseRawPacket(p.data(), p.size(), 77).ours);
}

TEST(IcmpPacket, RawErrorNamesTheEchoItQuotes) {
  // A router's host unreachable quoting our request to 10.9.9.9.
  std::vector<std::uint8_t> head = {kDestUnreachable, 1, 0, 0, 0, 0, 0, 0};
  const auto quoted = Join(IpHeader("10.0.0.1", "10.9.9.9", 63), Echo(kEchoRequest, 77, 9, "abcdefgh"));
  const auto packet = Sealed(Join(Join(IpHeader("10.0.0.254", "10.0.0.1", 64), head), quoted));
  Received r = ParseRawPacket(packet.data(), packet.size(), 77);
  ASSERT_TRUE(r.ours);
  EXPECT_TRUE(r.error);
  EXPECT_EQ(r.status, 11003);
  EXPECT_EQ(r.sequence, 9);
  EXPECT_EQ(r.from, Addr("10.0.0.254"));
  EXPECT_EQ(r.echoedTo, Addr("10.9.9.9"));
  EXPECT_EQ(r.size, 0u);

  EXPECT_FALSE(ParseRawPacket(packet.data(), packet.size(), 78).ours) << "quotes another identifier";
  // Only the IP header quoted, without the echo's first 8 bytes.
  const auto shortQuote = Sealed(std::vector<std::uint8_t>(packet.begin(), packet.end() - 12));
  EXPECT_FALSE(ParseRawPacket(shortQuote.data(), shortQuote.size(), 77).ours);
  // Time exceeded quoting a reply, not a request: not about an echo of ours.
  auto quotesReply = packet;
  quotesReply[20 + 8 + 20] = kEchoReply;
  quotesReply[20] = kTimeExceeded;
  quotesReply = Sealed(quotesReply);
  EXPECT_FALSE(ParseRawPacket(quotesReply.data(), quotesReply.size(), 77).ours);
}

// A raw socket hands over packets whose checksum the kernel has not checked.
TEST(IcmpPacket, RawPacketWithABadChecksumIsNoAnswer) {
  auto reply = Join(IpHeader("127.0.0.9", "127.0.0.1", 61), Echo(kEchoReply, 77, 5, "payload"));
  ASSERT_TRUE(ParseRawPacket(reply.data(), reply.size(), 77).ours);
  reply[20 + 2] ^= 0x01;
  EXPECT_FALSE(ParseRawPacket(reply.data(), reply.size(), 77).ours);
  auto payload = Join(IpHeader("127.0.0.9", "127.0.0.1", 61), Echo(kEchoReply, 77, 5, "payload"));
  payload.back() ^= 0x40;
  EXPECT_FALSE(ParseRawPacket(payload.data(), payload.size(), 77).ours) << "payload changed on the way";

  const std::vector<std::uint8_t> head = {kDestUnreachable, 1, 0, 0, 0, 0, 0, 0};
  auto error = Sealed(Join(Join(IpHeader("10.0.0.254", "10.0.0.1", 64), head),
                           Join(IpHeader("10.0.0.1", "10.9.9.9", 63), Echo(kEchoRequest, 77, 9, "abcdefgh"))));
  ASSERT_TRUE(ParseRawPacket(error.data(), error.size(), 77).ours);
  error[21] = 0;  // net unreachable now, the checksum still the host's
  EXPECT_FALSE(ParseRawPacket(error.data(), error.size(), 77).ours);
}

TEST(IcmpPacket, DatagramReplyAndErrorEntries) {
  const auto reply = Echo(kEchoReply, 4321, 17, "data");
  Received r = ParseDatagramReply(reply.data(), reply.size(), 4321, Addr("127.0.0.3"), 64);
  ASSERT_TRUE(r.ours);
  EXPECT_EQ(r.sequence, 17);
  EXPECT_EQ(r.ttl, 64);
  EXPECT_EQ(r.from, Addr("127.0.0.3"));
  EXPECT_EQ(r.size, 4u);
  EXPECT_FALSE(ParseDatagramReply(reply.data(), 7, 4321, 0, 64).ours);
  EXPECT_FALSE(ParseDatagramReply(reply.data(), reply.size(), 1, 0, 64).ours);

  const auto original = Echo(kEchoRequest, 4321, 18, "");
  r = ParseDatagramError(original.data(), original.size(), 4321, Addr("10.0.0.254"), Addr("10.9.9.9"), 11013);
  ASSERT_TRUE(r.ours);
  EXPECT_TRUE(r.error);
  EXPECT_EQ(r.status, 11013);
  EXPECT_EQ(r.sequence, 18);
  EXPECT_EQ(r.from, Addr("10.0.0.254"));
  EXPECT_EQ(r.echoedTo, Addr("10.9.9.9"));
  EXPECT_FALSE(ParseDatagramError(original.data(), 4, 4321, 0, 0, 11013).ours);
}

}  // namespace
}  // namespace sondrel::icmp
