// A scan job on the real carrier: a live host is reported as soon as its
// name lookup is done, not when a silent address's echo at last times out.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>

#include <mutex>
#include <string>
#include <vector>

#include "fakes/FakeResolver.h"
#include "IcmpTestSupport.h"
#include "core/scan/ScanProbe.h"
#include "core/ports/IcmpCarrier.h"
#include "platform/IcmpSocketCarrier_linux.h"
#include "support/SkipMissing.h"

namespace sondrel {
namespace {

using sondrel::testing::CarrierOfKind;
using sondrel::testing::PeerNamespace;

// Passes every call to the real carrier and notes, in the job's own log,
// each echo's end.
class NotingCarrier final : public IIcmpCarrier {
 public:
  NotingCarrier(IIcmpCarrier& real, std::vector<std::string>& log) : real_(real), log_(log) {}
  bool available(std::string* why) override { return real_.available(why); }
  std::vector<EchoReply> echoMany(const std::vector<EchoRequest>& requests,
                                  const EchoWatch& watch) override {
    EchoWatch noting = watch;
    noting.ended = [&](std::size_t k, const EchoReply& reply) {
      in_addr a{requests[k].address};
      log_.push_back(std::string("ended ") + inet_ntoa(a));
      if (watch.ended) watch.ended(k, reply);
    };
    return real_.echoMany(requests, noting);
  }

 private:
  IIcmpCarrier& real_;
  std::vector<std::string>& log_;
};

TEST(ScanJobOnTheCarrier, ALiveHostIsReportedBeforeASilentOneTimesOut) {
  const std::string why = testing::WhyNoNamespaces();
  if (!why.empty()) SONDREL_SKIP_MISSING(why);
  PeerNamespace peer("scanlive", "sscan0", "10.236.0.1", "10.236.0.2");
  if (!peer.ok()) SONDREL_SKIP_MISSING("could not make the peer namespace");
  ASSERT_TRUE(peer.sysctl("/proc/sys/net/ipv4/icmp_echo_ignore_all", "1"));
  CarrierOfKind kind(IcmpSocketKind::Raw);
  if (!kind.open) SONDREL_SKIP_MISSING("no ICMP socket: " << kind.reason);

  std::vector<std::string> log;  // written on the job's thread only
  NotingCarrier carrier(*kind.carrier, log);
  fakes::FakeResolver resolver;  // knows no names: no node-status query follows
  WorkerJob job;
  job.pairs = {{"127.0.0.1", "0"}, {"10.236.0.2", "1"}};
  ProbeSettings settings;
  settings.echoTimeoutMs = 1500;
  RunScanJob(job, carrier, resolver, [](const std::string&, int) { return std::string(); },
             [&](const std::string& text) { log.push_back("report " + text); }, settings);

  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[0], "ended 127.0.0.1");
  EXPECT_EQ(log[1].rfind("report 0,", 0), 0u) << "the live host waited: " << log[1];
  // Every report of the live host (its echo, then its name's) comes before
  // the silent one's first try ends.
  const auto silent = std::find(log.begin(), log.end(), "ended 10.236.0.2");
  ASSERT_NE(silent, log.end());
  for (auto it = silent; it != log.end(); ++it)
    EXPECT_NE(it->rfind("report 0,", 0), 0u) << "the live host waited: " << *it;
  ASSERT_NE(silent + 1, log.end());
  EXPECT_EQ(*(silent + 1), "ended 10.236.0.2");  // its second try
  EXPECT_EQ(log.back().rfind("report 1,", 0), 0u) << log.back();
}

}  // namespace
}  // namespace sondrel
