#include "core/ScanProbe.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/InetAddr.h"
#include "core/ports/IcmpCarrier.h"
#include "core/ports/Resolver.h"

namespace sondrel {

namespace {

using Clock = std::chrono::steady_clock;

struct LiveHost {
  std::size_t pair = 0;
  std::uint32_t ms = 0;
  unsigned ttl = 0;
};

// Lookups shared between the job's thread and its lookup threads. Kept alive
// by every thread, so a thread still blocked after the job has gone finds it.
struct Lookups {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::size_t> waiting;  // slots not yet taken by a thread
  struct Slot {
    std::string address;
    std::string host;
    std::string mac;
    bool started = false;
    bool done = false;
    Clock::time_point deadline;
  };
  std::vector<Slot> slots;
  std::size_t threadsAlive = 0;
  bool closing = false;
  // Wakes the job's echoes when a lookup is done, so the live host is
  // reported then, not when the next echo ends (a dead one's only after its
  // time-out).
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
  std::vector<LiveHost> live;
  auto lookups = std::make_shared<Lookups>();
  std::vector<std::size_t> liveSlotPair;  // slot -> pair
  std::vector<std::uint8_t> reported(count, 0);
  std::size_t reportsLeft = count;

  auto spawn = [&](std::unique_lock<std::mutex>&) {
    ++lookups->threadsAlive;
    std::thread(LookupThread, lookups, &resolver, macQuery, settings).detach();
  };

  // Sends what lookups have finished, and what has waited past its time-out
  // with what it has.
  auto pump = [&] {
    std::vector<std::string> texts;
    {
      std::unique_lock lock(lookups->mutex);
      const auto now = Clock::now();
      std::size_t overdue = 0;
      for (std::size_t slot = 0; slot < lookups->slots.size(); ++slot) {
        auto& s = lookups->slots[slot];
        const std::size_t pair = liveSlotPair[slot];
        if (reported[pair]) continue;
        const bool late = s.started && !s.done && now >= s.deadline;
        if (!s.done && !late) continue;
        if (late) ++overdue;
        const LiveHost& host = live[slot];
        texts.push_back(LiveReport(job.pairs[pair].index, host.ms, host.ttl, s.host,
                                   s.done ? s.mac : std::string()));
        reported[pair] = 1;
      }
      // A thread held by a lookup past its time-out leaves the others fewer
      // hands; add one while the cap allows.
      for (; overdue > 0 && !lookups->waiting.empty() && lookups->threadsAlive < settings.maxThreads;
           --overdue)
        spawn(lock);
    }
    for (const std::string& text : texts) {
      report(text);
      --reportsLeft;
    }
  };

  auto addLive = [&](std::size_t pair, const EchoReply& reply) {
    std::unique_lock lock(lookups->mutex);
    answered[pair] = true;
    live.push_back({pair, reply.roundTripMs, reply.ttl});
    liveSlotPair.push_back(pair);
    Lookups::Slot slot;
    slot.address = job.pairs[pair].address;
    lookups->slots.push_back(std::move(slot));
    lookups->waiting.push_back(lookups->slots.size() - 1);
    if (lookups->threadsAlive < settings.lookupThreads) spawn(lock);
    lookups->changed.notify_all();
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
      for (std::size_t slot = 0; slot < lookups->slots.size(); ++slot) {
        const auto& s = lookups->slots[slot];
        if (reported[liveSlotPair[slot]]) continue;
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
