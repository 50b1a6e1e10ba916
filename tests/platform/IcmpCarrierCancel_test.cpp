#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <mutex>
#include <thread>
#include <vector>

#include "IcmpTestSupport.h"
#include "core/ports/IcmpCarrier.h"
#include "platform/IcmpSocketCarrier_linux.h"
#include "support/SkipMissing.h"

namespace sondrel {
namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;
using sondrel::testing::CarrierOfKind;

std::uint32_t Addr(const char* dotted) { return inet_addr(dotted); }

class CarrierWaitTest : public ::testing::TestWithParam<IcmpSocketKind> {
 protected:
  void SetUp() override {
    kind_ = std::make_unique<CarrierOfKind>(GetParam());
    if (!kind_->open)
      SONDREL_SKIP_MISSING(testing::KindName(GetParam()) << " ICMP socket not available: " << kind_->reason);
  }
  // Loopback stops answering echoes; the setting belongs to the test's own
  // network namespace only.
  bool SilenceLoopback() {
    if (!testing::Isolated()) return false;
    silent_ = std::make_unique<testing::ScopedSysctl>("/proc/sys/net/ipv4/icmp_echo_ignore_all", "1");
    return silent_->ok();
  }
  SocketIcmpCarrier& carrier() { return *kind_->carrier; }

  std::unique_ptr<CarrierOfKind> kind_;
  std::unique_ptr<testing::ScopedSysctl> silent_;
};

TEST_P(CarrierWaitTest, CancelEndsWaitingEchoesWhateverTheirTimeOut) {
  if (!SilenceLoopback()) SONDREL_SKIP_MISSING("cannot silence loopback outside the private namespace");
  EchoCancel cancel;
  std::mutex m;
  std::vector<std::size_t> endedOrder;
  EchoWatch watch;
  watch.cancel = &cancel;
  watch.ended = [&](std::size_t i, const EchoReply& r) {
    EXPECT_TRUE(r.cancelled) << i;
    std::lock_guard lock(m);
    endedOrder.push_back(i);
  };
  std::vector<EchoReply> replies;
  std::thread waiter([&] {
    replies = carrier().echoMany({{Addr("127.0.0.1"), "a", 2147483647u}, {Addr("127.0.0.2"), "b", 600000}},
                                 watch);
  });
  // Another caller's echo on the same socket is left to its own time-out.
  EchoReply other;
  Steady::time_point otherEnded;
  std::thread bystander([&] {
    other = carrier().echo({Addr("127.0.0.3"), "c", 1500});
    otherEnded = Steady::now();
  });
  std::this_thread::sleep_for(200ms);  // the echoes are out and waiting
  const auto cancelledAt = Steady::now();
  cancel.cancel();
  waiter.join();
  const auto returned = Steady::now();
  bystander.join();

  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(returned - cancelledAt).count();
  std::cout << "[ figures  ] " << testing::KindName(GetParam()) << ": returned " << ms
            << " ms after the cancel\n";
  EXPECT_LT(returned - cancelledAt, 1s);
  ASSERT_EQ(replies.size(), 2u);
  for (const EchoReply& r : replies) {
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.status, 11050);
  }
  EXPECT_EQ(endedOrder.size(), 2u) << "every echo is reported once";
  EXPECT_EQ(other.status, 11010);
  EXPECT_FALSE(other.cancelled);
  EXPECT_GT(otherEnded, returned) << "the bystander's echo ended with the cancel";

  // A call cancelled before it begins sends nothing and returns at once.
  const auto began = Steady::now();
  const std::vector<EchoReply> none = carrier().echoMany({{Addr("127.0.0.1"), "x", 600000}}, watch);
  EXPECT_LT(Steady::now() - began, 1s);
  ASSERT_EQ(none.size(), 1u);
  EXPECT_TRUE(none[0].cancelled);
}

TEST_P(CarrierWaitTest, EachEchoIsReportedAsItEndsAndTheCarrierStaysGood) {
  const std::string why = testing::WhyNoNamespaces();
  if (!why.empty()) SONDREL_SKIP_MISSING(why);
  testing::PeerNamespace peer("late", "slate0", "10.235.0.1", "10.235.0.2");
  if (!peer.ok()) SONDREL_SKIP_MISSING("could not make the peer namespace");
  ASSERT_TRUE(peer.sysctl("/proc/sys/net/ipv4/icmp_echo_ignore_all", "1"));

  // The silent peer first, loopback after it: loopback is reported first,
  // and passed on while the peer still waits.
  std::vector<std::size_t> order;
  std::vector<std::size_t> settledAfter;
  EchoWatch watch;
  watch.ended = [&](std::size_t i, const EchoReply&) { order.push_back(i); };
  watch.settled = [&] { settledAfter.push_back(order.size()); };
  const std::vector<EchoReply> r = carrier().echoMany(
      {{Addr("10.235.0.2"), "late", 500}, {Addr("127.0.0.1"), "soon", 5000}}, watch);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].status, 11010);
  EXPECT_EQ(r[1].status, 0);
  EXPECT_EQ(order, (std::vector<std::size_t>{1, 0}));
  ASSERT_FALSE(settledAfter.empty()) << "the loopback reply was held back";
  EXPECT_EQ(settledAfter.front(), 1u);
  EXPECT_EQ(carrier().echo({Addr("127.0.0.1"), "after", 1000}).data, "after");
}

INSTANTIATE_TEST_SUITE_P(Sockets, CarrierWaitTest,
                         ::testing::Values(IcmpSocketKind::Raw, IcmpSocketKind::Datagram),
                         [](const auto& info) { return std::string(testing::KindName(info.param)); });

}  // namespace
}  // namespace sondrel
