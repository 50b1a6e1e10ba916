#pragma once
// The work of one scan worker: probe all its addresses at once on one ICMP
// socket, look names and MACs up for the live ones side by side, and report
// every address separately as soon as it is known.

#include <cstddef>
#include <functional>
#include <string>

#include "core/ScanWire.h"

namespace sondrel {

class IIcmpCarrier;
class IResolver;

struct ProbeSettings {
  std::uint32_t echoTimeoutMs = 1000;
  int nameTimeoutMs = 3000;  // reverse lookup
  int macTimeoutMs = 1000;   // NetBIOS node status, after a name was found
  std::size_t lookupThreads = 16;
  // Threads left blocked by lookups past their time-out are replaced up to
  // this many threads alive.
  std::size_t maxThreads = 64;
};

// The MAC of an address as the NetBIOS node status gives it, "" for none.
using MacQuery = std::function<std::string(const std::string& address, int timeoutMs)>;
// Takes one report text; runs on the calling thread of RunScanJob only.
using ReportSink = std::function<void(const std::string& text)>;

// Returns once every pair of the job has been reported. A lookup held past
// its time-out may still be running then, on a detached thread that uses the
// resolver and the MAC query: the resolver must live until the process ends
// (the worker exits straight after the job).
void RunScanJob(const WorkerJob& job, IIcmpCarrier& icmp, IResolver& resolver,
                const MacQuery& macQuery, const ReportSink& report,
                const ProbeSettings& settings = {});

}  // namespace sondrel
