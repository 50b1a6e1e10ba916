// One worker's job: all its addresses at once, a second echo for the silent
// ones, each echo's report at once, lookups only for live hosts, side by
// side, and a second report for each once its lookup has ended.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "core/common/InetAddr.h"
#include "core/scan/ScanProbe.h"
#include "core/ports/IcmpCarrier.h"
#include "core/ports/Resolver.h"

namespace sondrel {
namespace {

// Per address, how many echoes go unanswered before one is answered (-1:
// never). Records every batch.
class AttemptCarrier final : public IIcmpCarrier {
 public:
  std::map<std::uint32_t, int> lostBeforeReply;
  std::vector<std::vector<EchoRequest>> batches;

  using IIcmpCarrier::echoMany;
  std::vector<EchoReply> echoMany(const std::vector<EchoRequest>& requests,
                                  const EchoWatch& watch) override {
    batches.push_back(requests);
    std::vector<EchoReply> replies(requests.size());
    for (std::size_t k = 0; k < requests.size(); ++k) {
      int& lost = lostBeforeReply[requests[k].address];
      EchoReply& r = replies[k];
      if (lost == 0) {
        r.status = 0;
        r.roundTripMs = 4;
        r.ttl = 63;
      } else {
        r.status = 11010;
        if (lost > 0) --lost;
      }
      if (watch.ended) watch.ended(k, r);
    }
    if (watch.settled) watch.settled();
    return replies;
  }
  bool available(std::string*) override { return true; }
};

class SlowResolver final : public IResolver {
 public:
  std::map<std::string, std::string> names;
  std::map<std::string, int> delayMs;
  std::mutex mutex;
  std::condition_variable idle;
  int inFlight = 0;
  std::set<std::string> asked;
  std::string firstIPv4(const std::string&) override { return {}; }
  std::string nameOf(const std::string& address) override {
    int delay = 0;
    std::string name;
    {
      std::lock_guard lock(mutex);
      asked.insert(address);
      delay = delayMs[address];
      name = names[address];
      ++inFlight;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));  // the slow lookup itself
    std::lock_guard lock(mutex);
    --inFlight;
    idle.notify_all();
    return name;
  }
  // Lookups left blocked by the job must end before this object goes.
  bool waitIdle() {
    std::unique_lock lock(mutex);
    return idle.wait_for(lock, std::chrono::seconds(5), [this] { return inFlight == 0; });
  }
  ~SlowResolver() override { waitIdle(); }
};

struct Job {
  AttemptCarrier icmp;
  SlowResolver resolver;
  std::mutex macMutex;
  std::vector<std::string> macAsked;
  std::vector<std::string> reports;
  ProbeSettings settings;

  void run(const std::vector<ScanPair>& pairs) {
    WorkerJob job;
    job.pairs = pairs;
    MacQuery mac = [this](const std::string& address, int) {
      std::lock_guard lock(macMutex);
      macAsked.push_back(address);
      return std::string("00-1a-2b-3c-4d-5e,\n");
    };
    RunScanJob(job, icmp, resolver, mac, [this](const std::string& t) { reports.push_back(t); },
               settings);
  }
};

TEST(ScanJob, ProbesAllTogetherThenRetriesOnlyTheSilentOnes) {
  Job j;
  j.icmp.lostBeforeReply[InetAddr("10.0.0.1")] = 0;
  j.icmp.lostBeforeReply[InetAddr("10.0.0.2")] = 1;   // first echo lost
  j.icmp.lostBeforeReply[InetAddr("10.0.0.3")] = -1;  // dead
  j.run({{"10.0.0.1", "0"}, {"10.0.0.2", "1"}, {"10.0.0.3", "2"}});

  ASSERT_EQ(j.icmp.batches.size(), 2u);
  ASSERT_EQ(j.icmp.batches[0].size(), 3u);
  EXPECT_EQ(j.icmp.batches[0][0].data, std::string(32, 'A'));
  EXPECT_EQ(j.icmp.batches[0][0].timeoutMs, 1000u);
  EXPECT_EQ(j.icmp.batches[1].size(), 2u);

  // Each live one twice: its echo, then its lookup that found nothing.
  std::multiset<std::string> got(j.reports.begin(), j.reports.end());
  EXPECT_EQ(got, (std::multiset<std::string>{"0,4,63,,", "0,4,63,,", "1,4,63,,", "1,4,63,,", "2,Dead"}));
  // Nobody had a name, so no NetBIOS query; dead hosts are not looked up.
  EXPECT_TRUE(j.macAsked.empty());
  EXPECT_EQ(j.resolver.asked.count("10.0.0.3"), 0u);
}

TEST(ScanJob, MacIsAskedOnlyWhenANameWasFoundAndBothAreCleaned) {
  Job j;
  j.icmp.lostBeforeReply[InetAddr("10.0.0.1")] = 0;
  j.icmp.lostBeforeReply[InetAddr("10.0.0.2")] = 0;
  j.resolver.names["10.0.0.1"] = "evil,9,9\r\nhost";
  j.run({{"10.0.0.1", "5"}, {"10.0.0.2", "6"}});
  ASSERT_EQ(j.macAsked, std::vector<std::string>{"10.0.0.1"});
  std::multiset<std::string> got(j.reports.begin(), j.reports.end());
  EXPECT_EQ(got, (std::multiset<std::string>{"5,4,63,,", "5,4,63,evil99host,00-1a-2b-3c-4d-5e",
                                             "6,4,63,,", "6,4,63,,"}));
}

TEST(ScanJob, ASlowLookupDoesNotHoldBackTheOthersAndEndsByItsTimeOut) {
  Job j;
  j.settings.nameTimeoutMs = 300;
  j.settings.macTimeoutMs = 100;
  for (int k = 1; k <= 5; ++k) j.icmp.lostBeforeReply[InetAddr("10.0.0." + std::to_string(k))] = 0;
  j.resolver.delayMs["10.0.0.1"] = 1500;  // hangs past its time-out
  j.resolver.names["10.0.0.1"] = "late";
  std::vector<ScanPair> pairs;
  for (int k = 1; k <= 5; ++k) pairs.push_back({"10.0.0." + std::to_string(k), std::to_string(k)});
  const auto start = std::chrono::steady_clock::now();
  j.run(pairs);
  const auto took = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(j.reports.size(), 10u);
  // Every echo first, none held for a name.
  std::set<std::string> echoes(j.reports.begin(), j.reports.begin() + 5);
  EXPECT_EQ(echoes, (std::set<std::string>{"1,4,63,,", "2,4,63,,", "3,4,63,,", "4,4,63,,", "5,4,63,,"}));
  // The slow one comes last, without the name it never gave in time.
  EXPECT_EQ(j.reports.back(), "1,4,63,,");
  EXPECT_LT(took, std::chrono::milliseconds(1400));
  EXPECT_TRUE(j.resolver.waitIdle());
}

TEST(ScanJob, AHundredSlowLookupsWaitSideBySide) {
  Job j;
  std::vector<ScanPair> pairs;
  for (int k = 1; k <= 100; ++k) {
    const std::string address = "10.0.1." + std::to_string(k);
    j.icmp.lostBeforeReply[InetAddr(address)] = 0;
    j.resolver.delayMs[address] = 400;
    j.resolver.names[address] = "h" + std::to_string(k);
    pairs.push_back({address, std::to_string(k)});
  }
  const auto start = std::chrono::steady_clock::now();
  j.run(pairs);
  const auto took = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(j.reports.size(), 200u);
  int named = 0;
  for (const std::string& r : j.reports) named += r.find(",h") != std::string::npos ? 1 : 0;
  EXPECT_EQ(named, 100);
  // A few delays at most, not one for every few hosts.
  EXPECT_LT(took, std::chrono::milliseconds(1500));
  EXPECT_TRUE(j.resolver.waitIdle());
}

TEST(ScanJob, NoAddressAtAllIsReportedDeadWithoutAnEcho) {
  Job j;
  j.run({{"not-an-address", "3"}});
  EXPECT_EQ(j.reports, std::vector<std::string>{"3,Dead"});
  EXPECT_TRUE(j.icmp.batches.empty());
}

}  // namespace
}  // namespace sondrel
