#include "core/scan/ScanProbe.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "core/common/InetAddr.h"
#include "core/ports/IcmpCarrier.h"
#include "core/ports/Resolver.h"

namespace sondrel {

namespace {

using Clock = std::chrono::steady_clock;

// Lookups shared between the job's thread and its lookup threads. Kept alive
// by every thread, so a thread still blocked after the job has gone finds it.
struct Lookups {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::size_t> waiting;  // slots not yet taken by a thread
  struct Slot {
    std::size_t pair = 0;
    std::uint32_t ms = 0;
    unsigned ttl = 0;
    std::string address;
    std::string host;
    std::string mac;
    bool started = false;
    bool done = false;
    bool reported = false;  // the second report, after the lookup, has gone
    Clock::time_point deadline;
  };
  std::vector<Slot> slots;
  std::size_t threadsAlive = 0;
  bool closing = false;
  // Wakes the job's echoes when a lookup is done, so its report goes then,
  // not when the next echo ends (a dead one's only after its time-out).
  EchoPoke poke;
};

void LookupThread(std::shared_ptr<Lookups> lookups, IResolver* resolver, MacQuery macQuery,
                  ProbeSettings settings) {
  std::unique_lock lock(lookups->mutex);
  while (!lookups->closing && !lookups->waiting.empty()) {
    const std::size_t slot = lookups->waiting.front();
    lookups->waiting.pop_front();
    lookups->slots[slot].started = true;
    lookups->slots[slot].deadline = Clock::now() + std::chrono::milliseconds(
                                                       settings.nameTimeoutMs +
                                                       settings.macTimeoutMs + 100);
    const std::string address = lookups->slots[slot].address;
    lock.unlock();
    std::string host = CleanReportName(resolver->nameOf(address));
    std::string mac;
    lock.lock();
    // Too late: the host has been reported without its name already.
    const bool late = lookups->closing || Clock::now() >= lookups->slots[slot].deadline;
    if (!host.empty() && !late) {
      lock.unlock();
      mac = CleanReportName(macQuery(address, settings.macTimeoutMs));
      lock.lock();
    }
    lookups->slots[slot].host = std::move(host);
    lookups->slots[slot].mac = std::move(mac);
    lookups->slots[slot].done = true;
    lookups->changed.notify_all();
    lookups->poke.poke();
  }
  --lookups->threadsAlive;
  lookups->changed.notify_all();
}

}  // namespace

void RunScanJob(const WorkerJob& job, IIcmpCarrier& icmp, IResolver& resolver,
                const MacQuery& macQuery, const ReportSink& report,
                const ProbeSettings& settings) {
  const std::size_t count = job.pairs.size();
  std::vector<bool> answered(count, false);
  auto lookups = std::make_shared<Lookups>();
  std::vector<std::uint8_t> reported(count, 0);
  // Reports still to come: one per dead address, the second one per live.
  std::size_t reportsLeft = count;

  // One more thread, when the system gives one; without any, the waiting
  // lookups end with no name.
  auto spawn = [&](std::unique_lock<std::mutex>&) {
    try {
      std::thread(LookupThread, lookups, &resolver, macQuery, settings).detach();
      ++lookups->threadsAlive;
    } catch (const std::system_error&) {
      if (lookups->threadsAlive > 0) return;
      for (std::size_t slot : lookups->waiting) lookups->slots[slot].done = true;
      lookups->waiting.clear();
    }
  };

  // Sends the second report of every lookup that has ended, and of every
  // one past its time-out with what it has.
  auto pump = [&] {
    std::vector<std::string> texts;
    {
      std::unique_lock lock(lookups->mutex);
      const auto now = Clock::now();
      std::size_t overdue = 0;
      for (auto& s : lookups->slots) {
        if (s.reported) continue;
        const bool late = s.started && !s.done && now >= s.deadline;
        if (!s.done && !late) continue;
        if (late) ++overdue;
        texts.push_back(LiveReport(job.pairs[s.pair].index, s.ms, s.ttl, s.done ? s.host : "",
                                   s.done ? s.mac : std::string()));
        s.reported = true;
      }
      // A thread held by a lookup past its time-out leaves the waiting ones
      // a hand short: add one for each.
      for (; overdue > 0 && !lookups->waiting.empty(); --overdue) spawn(lock);
    }
    for (const std::string& text : texts) {
      report(text);
      --reportsLeft;
    }
  };

  // The echo's result goes out at once; the name follows in a second report.
  auto addLive = [&](std::size_t pair, const EchoReply& reply) {
    answered[pair] = true;
    reported[pair] = 1;
    {
      std::unique_lock lock(lookups->mutex);
      Lookups::Slot slot;
      slot.pair = pair;
      slot.ms = reply.roundTripMs;
      slot.ttl = reply.ttl;
      slot.address = job.pairs[pair].address;
      lookups->slots.push_back(std::move(slot));
      lookups->waiting.push_back(lookups->slots.size() - 1);
      if (lookups->threadsAlive < settings.lookupThreads) spawn(lock);
      lookups->changed.notify_all();
    }
    report(LiveReport(job.pairs[pair].index, reply.roundTripMs, reply.ttl, "", ""));
  };

  auto reportDead = [&](std::size_t pair) {
    if (reported[pair]) return;
    reported[pair] = 1;
    report(DeadReport(job.pairs[pair].index));
    --reportsLeft;
  };

  // Two tries: every address at once, then once more those without a reply.
  const std::string data(32, 'A');
  std::vector<std::size_t> toProbe;
  for (std::size_t pair = 0; pair < count; ++pair) {
    if (InetAddr(job.pairs[pair].address) == kInetAddrNone) reportDead(pair);
    else toProbe.push_back(pair);
  }
  for (int attempt = 0; attempt < 2 && !toProbe.empty(); ++attempt) {
    std::vector<EchoRequest> requests;
    requests.reserve(toProbe.size());
    for (std::size_t pair : toProbe)
      requests.push_back({InetAddr(job.pairs[pair].address), data, settings.echoTimeoutMs});
    EchoWatch watch;
    watch.ended = [&](std::size_t k, const EchoReply& reply) {
      if (reply.status == 0) addLive(toProbe[k], reply);
    };
    watch.settled = pump;
    watch.poke = &lookups->poke;
    icmp.echoMany(requests, watch);
    pump();
    std::vector<std::size_t> again;
    for (std::size_t pair : toProbe)
      if (!answered[pair]) again.push_back(pair);
    toProbe = std::move(again);
  }
  for (std::size_t pair : toProbe) reportDead(pair);

  // The lookups still going: each ends by its result or its time-out.
  while (reportsLeft > 0) {
    {
      std::unique_lock lock(lookups->mutex);
      Clock::time_point next = Clock::now() + std::chrono::milliseconds(50);
      bool ready = false;
      for (const auto& s : lookups->slots) {
        if (s.reported) continue;
        if (s.done) ready = true;
        else if (s.started && s.deadline < next) next = s.deadline;
      }
      if (!ready) lookups->changed.wait_until(lock, next);
    }
    pump();
  }
  std::lock_guard lock(lookups->mutex);
  lookups->closing = true;
}

}  // namespace sondrel
