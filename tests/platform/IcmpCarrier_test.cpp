#include <arpa/inet.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "IcmpTestSupport.h"
#include "core/ports/IcmpCarrier.h"
#include "platform/IcmpSocketCarrier_linux.h"
#include "support/SkipMissing.h"

namespace sondrel {
namespace {

using namespace std::chrono_literals;
using sondrel::testing::CarrierOfKind;
using sondrel::testing::PeerNamespace;

std::uint32_t Addr(const char* dotted) { return inet_addr(dotted); }

// A payload nobody else's echo carries: its index spelled into every byte run.
std::string PayloadFor(std::size_t index, std::size_t size) {
  std::string tag = "#" + std::to_string(index) + ";";
  std::string out;
  while (out.size() < size) out += tag;
  out.resize(size);
  return out;
}

class CarrierTest : public ::testing::TestWithParam<IcmpSocketKind> {
 protected:
  void SetUp() override {
    kind_ = std::make_unique<CarrierOfKind>(GetParam());
    if (!kind_->open) {
      SONDREL_SKIP_MISSING(testing::KindName(GetParam()) << " ICMP socket not available here: "
                   << kind_->reason);
    }
  }
  SocketIcmpCarrier& carrier() { return *kind_->carrier; }

  std::unique_ptr<CarrierOfKind> kind_;
};

TEST_P(CarrierTest, LoopbackEchoesComeBackWholeWithTheirTtl) {
  struct Case {
    const char* address;
    std::size_t size;
  };
  const Case cases[] = {{"127.0.0.1", 0},    {"127.0.0.1", 32}, {"127.0.0.1", 32000},
                        {"127.0.0.2", 32},   {"127.1.2.3", 1},  {"127.255.255.254", 32000},
                        {"127.0.0.1", 65507}};
  for (const Case& c : cases) {
    const std::string payload = PayloadFor(c.size, c.size);
    const EchoReply r = carrier().echo({Addr(c.address), payload, 2000});
    SCOPED_TRACE(std::string(c.address) + " with " + std::to_string(c.size) + " bytes");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.ttl, 64);
    EXPECT_EQ(r.replyAddress, Addr(c.address));
    EXPECT_EQ(r.dataSize, c.size);
    EXPECT_TRUE(r.data == payload) << "echoed bytes differ from those sent";
    EXPECT_EQ(r.roundTripMs, r.roundTripUs / 1000);
    EXPECT_LT(r.roundTripUs, 2'000'000u);
  }
}

TEST_P(CarrierTest, EchoesFromManyThreadsAtOnceEachGetTheirOwnReply) {
  constexpr int kThreads = 8;
  constexpr int kPerThread = 25;  // 200 echoes in all
  std::latch start(kThreads);
  std::vector<std::vector<EchoReply>> got(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      for (int i = 0; i < kPerThread; ++i) {
        const std::size_t index = static_cast<std::size_t>(t * kPerThread + i);
        // Different targets and sizes, so a reply taken by the wrong echo shows.
        const std::string target = "127.0." + std::to_string(t) + "." + std::to_string(i + 1);
        got[t].push_back(carrier().echo({Addr(target.c_str()), PayloadFor(index, 16 + index), 3000}));
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(got[t].size(), static_cast<std::size_t>(kPerThread));
    for (int i = 0; i < kPerThread; ++i) {
      const std::size_t index = static_cast<std::size_t>(t * kPerThread + i);
      const std::string target = "127.0." + std::to_string(t) + "." + std::to_string(i + 1);
      const EchoReply& r = got[t][i];
      EXPECT_EQ(r.status, 0) << target;
      EXPECT_EQ(r.replyAddress, Addr(target.c_str())) << target;
      EXPECT_TRUE(r.data == PayloadFor(index, 16 + index)) << "echo " << index << " got another's payload";
    }
  }
}

TEST_P(CarrierTest, ABatchFromSeveralThreadsKeepsRequestOrder) {
  constexpr int kThreads = 4;
  constexpr std::size_t kBatch = 600;
  std::latch start(kThreads);
  std::vector<std::vector<EchoReply>> got(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::vector<EchoRequest> batch;
      for (std::size_t i = 0; i < kBatch; ++i) {
        const std::string target = "127." + std::to_string(t + 1) + ".0." + std::to_string(i % 250 + 1);
        batch.push_back({Addr(target.c_str()), PayloadFor(t * kBatch + i, 8 + i % 64), 5000});
      }
      start.arrive_and_wait();
      got[t] = carrier().echoMany(batch);
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(got[t].size(), kBatch);
    int wrong = 0;
    for (std::size_t i = 0; i < kBatch; ++i) {
      const EchoReply& r = got[t][i];
      if (r.status != 0 || r.data != PayloadFor(t * kBatch + i, 8 + i % 64)) ++wrong;
    }
    EXPECT_EQ(wrong, 0) << "thread " << t;
  }
}

TEST_P(CarrierTest, PayloadTooLargeForOnePacketIsRefusedAloneInItsBatch) {
  const std::vector<EchoReply> r = carrier().echoMany(
      {{Addr("127.0.0.1"), "a", 1000}, {Addr("127.0.0.1"), std::string(65508, 'x'), 1000},
       {Addr("127.0.0.1"), "c", 1000}});
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].status, 0);
  EXPECT_EQ(r[1].status, 11001);
  EXPECT_EQ(r[2].status, 0);
  EXPECT_EQ(r[2].data, "c");
  EXPECT_TRUE(carrier().echoMany({}).empty());
}

TEST_P(CarrierTest, SilentOrMissingPeerTimesOutWithinTheTimeout) {
  const std::string why = testing::WhyNoNamespaces();
  if (!why.empty()) SONDREL_SKIP_MISSING(why);
  PeerNamespace peer("dead", "sdead0", "10.231.0.1", "10.231.0.2");
  if (!peer.ok()) SONDREL_SKIP_MISSING("could not make the peer namespace");
  ASSERT_TRUE(peer.sysctl("/proc/sys/net/ipv4/icmp_echo_ignore_all", "1"));
  struct Case {
    const char* address;
    const char* what;
  };
  const Case cases[] = {{"10.231.0.2", "peer ignoring echoes"}, {"10.231.0.77", "nobody at the address"}};
  constexpr std::uint32_t kTimeout = 1000;
  for (const Case& c : cases) {
    const auto began = std::chrono::steady_clock::now();
    const EchoReply r = carrier().echo({Addr(c.address), "abc", kTimeout});
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began)
            .count();
    std::cout << "[ figures  ] " << testing::KindName(GetParam()) << " " << c.what << ": returned after "
              << ms << " ms for a " << kTimeout << " ms time-out (overrun " << ms - kTimeout << " ms)\n";
    EXPECT_EQ(r.status, 11010) << c.what;
    EXPECT_GE(ms, kTimeout) << c.what << ": gave up early";
    EXPECT_LE(ms, kTimeout + 1000) << c.what;
  }
  // The socket is still good for others after the time-outs.
  EXPECT_EQ(carrier().echo({Addr("127.0.0.1"), "after", 1000}).status, 0);
}

TEST_P(CarrierTest, UnansweredNeighbourIsHostUnreachableAndLateErrorsAreDropped) {
  const std::string why = testing::WhyNoNamespaces();
  if (!why.empty()) SONDREL_SKIP_MISSING(why);
  PeerNamespace peer("arp", "sarp0", "10.234.0.1", "10.234.0.2");
  if (!peer.ok()) SONDREL_SKIP_MISSING("could not make the peer namespace");
  // Give up on the neighbour after one query of 300 ms instead of three seconds.
  testing::ScopedSysctl solicit("/proc/sys/net/ipv4/neigh/sarp0/mcast_solicit", "1");
  testing::ScopedSysctl retrans("/proc/sys/net/ipv4/neigh/sarp0/retrans_time_ms", "300");
  ASSERT_TRUE(solicit.ok() && retrans.ok());
  // The first echo gives up before the neighbour does; its error comes late,
  // while the second is waiting on the same neighbour.
  const EchoReply first = carrier().echo({Addr("10.234.0.77"), "first", 100});
  const EchoReply second = carrier().echo({Addr("10.234.0.77"), "second", 3000});
  EXPECT_EQ(first.status, 11010);
  EXPECT_EQ(second.status, 11003);
  EXPECT_EQ(second.replyAddress, Addr("10.234.0.1")) << "reported by our own end";
  EXPECT_GE(second.roundTripMs, 100u) << "took the first echo's error";
  EXPECT_EQ(carrier().echo({Addr("127.0.0.1"), "after", 1000}).data, "after");
}

TEST_P(CarrierTest, MoreEchoesThanSequenceNumbersInOneBatch) {
  constexpr std::size_t kCount = 70000;
  std::vector<EchoRequest> batch;
  batch.reserve(kCount);
  for (std::size_t i = 0; i < kCount; ++i) {
    batch.push_back({Addr("127.0.0.1"), std::string(reinterpret_cast<const char*>(&i), sizeof i), 300});
  }
  // Answered, the numbers are reused as replies free them.
  std::vector<EchoReply> replies = carrier().echoMany(batch);
  ASSERT_EQ(replies.size(), kCount);
  std::size_t wrong = 0;
  for (std::size_t i = 0; i < kCount; ++i) {
    if (replies[i].status != 0 || replies[i].data != batch[i].data) ++wrong;
  }
  EXPECT_EQ(wrong, 0u);

  if (!testing::Isolated()) SONDREL_SKIP_MISSING("silencing loopback needs the private namespace");
  // Unanswered, every number is taken and the rest of the batch waits for
  // the first time-outs to free them.
  testing::ScopedSysctl silent("/proc/sys/net/ipv4/icmp_echo_ignore_all", "1");
  ASSERT_TRUE(silent.ok());
  const auto began = std::chrono::steady_clock::now();
  replies = carrier().echoMany(batch);
  const auto took = std::chrono::steady_clock::now() - began;
  ASSERT_EQ(replies.size(), kCount);
  wrong = 0;
  for (const EchoReply& r : replies) wrong += r.status != 11010;
  EXPECT_EQ(wrong, 0u);
  EXPECT_GE(took, 600ms) << "the second round cannot start before the first times out";
  EXPECT_LT(took, 20s);
}

TEST_P(CarrierTest, RouterErrorsMapToTheirStatus) {
  const std::string why = testing::WhyNoNamespaces();
  if (!why.empty()) SONDREL_SKIP_MISSING(why);
  PeerNamespace router("router", "srtr0", "10.232.0.1", "10.232.0.2");
  if (!router.ok()) SONDREL_SKIP_MISSING("could not make the router namespace");
  // The router sends few errors to one source in a row, so each kind of
  // destination is reached from a source address of its own.
  ASSERT_TRUE(testing::Run("ip addr add 10.232.0.3/24 dev srtr0") &&
              testing::Run("ip addr add 10.232.0.4/24 dev srtr0") &&
              testing::Run("ip addr add 10.232.0.5/24 dev srtr0"));
  ASSERT_TRUE(testing::Run("ip route add 10.232.9.0/24 via 10.232.0.2 src 10.232.0.3") &&
              testing::Run("ip route add 10.232.10.0/24 via 10.232.0.2 src 10.232.0.4") &&
              testing::Run("ip route add 10.232.11.0/24 via 10.232.0.2 src 10.232.0.5"));
  // A router only reports unreachable destinations while it forwards.
  ASSERT_TRUE(router.sysctl("/proc/sys/net/ipv4/ip_forward", "1"));
  ASSERT_TRUE(router.inside("ip route add unreachable 10.232.9.0/24"));
  ASSERT_TRUE(router.inside("ip route add prohibit 10.232.10.0/24"));
  struct Case {
    const char* address;
    std::int32_t status;
    const char* what;
  };
  const Case cases[] = {{"10.232.9.1", 11003, "host unreachable"},
                        {"10.232.10.1", 11004, "administratively prohibited"},
                        {"10.232.11.1", 11002, "no route at the router: net unreachable"}};
  for (const Case& c : cases) {
    const EchoReply r = carrier().echo({Addr(c.address), "xyz", 2000});
    EXPECT_EQ(r.status, c.status) << c.what;
    EXPECT_EQ(r.replyAddress, Addr("10.232.0.2")) << c.what << ": the error comes from the router";
    EXPECT_EQ(r.dataSize, 0u) << c.what;
  }
  // All at once in one batch, beside a loopback echo.
  const std::vector<EchoReply> batch = carrier().echoMany(
      {{Addr("10.232.9.1"), "1", 2000}, {Addr("127.0.0.1"), "2", 2000}, {Addr("10.232.11.1"), "3", 2000}});
  EXPECT_EQ(batch[0].status, 11003);
  EXPECT_EQ(batch[1].status, 0);
  EXPECT_EQ(batch[2].status, 11002);
}

TEST_P(CarrierTest, NoRouteIsReportedAtOnce) {
  const std::string why = testing::WhyNoNamespaces();
  if (!why.empty()) SONDREL_SKIP_MISSING(why);
  // Our namespace has only loopback: nothing outside it has a route.
  const auto began = std::chrono::steady_clock::now();
  const EchoReply r = carrier().echo({Addr("10.233.1.1"), "x", 3000});
  EXPECT_EQ(r.status, 11002);
  EXPECT_LT(std::chrono::steady_clock::now() - began, 2s) << "waited for the time-out instead";
}

INSTANTIATE_TEST_SUITE_P(Sockets, CarrierTest,
                         ::testing::Values(IcmpSocketKind::Raw, IcmpSocketKind::Datagram),
                         [](const auto& info) { return std::string(testing::KindName(info.param)); });

TEST(SystemIcmpCarrier, IsOneSharedCarrierThatEchoesLoopback) {
  const auto a = SystemIcmpCarrier();
  EXPECT_EQ(a, SystemIcmpCarrier());
  std::string why;
  if (!a->available(&why)) SONDREL_SKIP_MISSING(why);
  EXPECT_TRUE(why.empty());
  EXPECT_EQ(a->echo({Addr("127.0.0.1"), "hello", 1000}).status, 0);
}

TEST(SocketIcmpCarrier, PrefersADatagramSocketWhereTheGroupMayOpenOne) {
  if (geteuid() != 0 || !testing::Isolated()) {
    SONDREL_SKIP_MISSING("needs root in the private namespace to change who may open datagram sockets");
  }
  const struct {
    const char* range;
    IcmpSocketKind expected;
  } cases[] = {{"0 2147483647", IcmpSocketKind::Datagram}, {"1 0", IcmpSocketKind::Raw}};
  for (const auto& c : cases) {
    testing::ScopedSysctl range(testing::kPingGroupRange, c.range);
    ASSERT_TRUE(range.ok());
    SocketIcmpCarrier carrier;
    EXPECT_EQ(carrier.openKind(), IcmpSocketKind::Automatic) << "opened before first use";
    ASSERT_TRUE(carrier.available(nullptr)) << c.range;
    EXPECT_EQ(carrier.openKind(), c.expected) << c.range;
    EXPECT_EQ(carrier.echo({Addr("127.0.0.1"), c.range, 1000}).data, c.range);
  }
}

TEST(SocketIcmpCarrier, WithoutPermissionExplainsHowToAllowAndNeverSucceeds) {
  if (geteuid() != 0 || !testing::Isolated()) {
    SONDREL_SKIP_MISSING("needs root in the private namespace to take the permission away");
  }
  // Datagram sockets for no group, and a child that gives up root.
  testing::ScopedSysctl narrow(testing::kPingGroupRange, "1 0");
  ASSERT_TRUE(narrow.ok());
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
        setresuid(65534, 65534, 65534) != 0) {
      _exit(10);
    }
    SocketIcmpCarrier carrier;
    std::string why;
    if (carrier.available(&why)) _exit(11);
    if (why.find("net.ipv4.ping_group_range") == std::string::npos ||
        why.find("setcap cap_net_raw+ep") == std::string::npos) {
      _exit(12);
    }
    const std::vector<EchoReply> r = carrier.echoMany({{Addr("127.0.0.1"), "x", 100}, {Addr("127.0.0.1"), "", 100}});
    if (r.size() != 2 || r[0].status != 11050 || r[1].status != 11050) _exit(13);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "10 drop root, 11 opened anyway, 12 no explanation, 13 not 11050";
}

}  // namespace
}  // namespace sondrel
