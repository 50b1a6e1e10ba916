#pragma once
// The work of one scan worker: probe all its addresses at once on one ICMP
// socket, report each as soon as its echoes have ended, look names and MACs
// up for the live ones side by side, and report each live host again once
// its lookup has ended.

#include <cstddef>
#include <functional>
#include <string>

#include "core/scan/ScanWire.h"

namespace sondrel {

class IIcmpCarrier;
class IResolver;

struct ProbeSettings {
  std::uint32_t echoTimeoutMs = 1000;
  // A reverse lookup is given up after this: long enough for the system
  // resolver's own retry to a second name server (5 s a try by default).
  int nameTimeoutMs = 11000;
  int macTimeoutMs = 1000;  // NetBIOS node status, after a name was found
  // Lookups in flight at once, a thread each; the rest wait for a free one.
  // The worker sets it from the descriptors it may open.
  std::size_t lookupThreads = 256;
};

// The MAC of an address as the NetBIOS node status gives it, "" for none.
using MacQuery = std::function<std::string(const std::string& address, int timeoutMs)>;
// Takes one report text; runs on the calling thread of RunScanJob only.
using ReportSink = std::function<void(const std::string& text)>;

// Returns once every pair of the job has been reported: a dead one once, a
// live one at its echo and again after its lookup (ApplyNameReport). A
// lookup held past its time-out may still be running then, on a detached
// thread that uses the resolver and the MAC query: the resolver must live
// until the process ends (the worker exits straight after the job).
void RunScanJob(const WorkerJob& job, IIcmpCarrier& icmp, IResolver& resolver,
                const MacQuery& macQuery, const ReportSink& report,
                const ProbeSettings& settings = {});

}  // namespace sondrel
