// The scan worker: probes the addresses of its command line and reports each
// one back to the scan run over the descriptor it inherited.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "core/common/InetAddr.h"
#include "core/scan/ScanProbe.h"
#include "core/scan/ScanWire.h"
#include "platform/IcmpSocketCarrier_linux.h"
#include "platform/Priority_linux.h"
#include "platform/Resolver_linux.h"
#include "platform/ScanSockets_linux.h"

int main(int argc, char** argv) {
  using namespace sondrel;
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::puts("PingIPscan 2008112");
    return 0;
  }
  const WorkerJob job = ParseWorkerArguments(argc, argv);
  if (argc < 2 || !DescriptorOpen(job.reportFd) || job.reportFd < 3) {
    std::fputs("usage: PingIPscan2008112 FD,ADDRESS,INDEX,,,,,DELAY[,ADDRESS,INDEX...]\n"
               "FD is an inherited socket that takes the reports.\n",
               stderr);
    return 2;
  }
  // A worker of a large scan is one of many, each with its lookup threads;
  // below normal priority they leave the window the processor time it needs
  // to answer the user at once. A small scan's worker keeps its pace.
  constexpr std::size_t kLargeScanPairs = 1024;
  if (job.pairs.size() >= kLargeScanPairs) LowerOwnPriority(10);
  // The start delay: there are no events to let run, so it only yields.
  for (long k = 0; k < 10 + std::max(0L, std::min(job.delay, 100000L)); ++k)
    std::this_thread::yield();

  auto icmp = SystemIcmpCarrier();
  std::string why;
  if (!icmp->available(&why)) {
    std::fprintf(stderr, "%s\n", why.c_str());
    return 3;
  }
  auto resolver = SystemResolver();
  const MacQuery macQuery = [](const std::string& address, int timeoutMs) {
    const auto mac = QueryNodeStatusMac(InetAddr(address), timeoutMs);
    return mac ? FormatMac(*mac) : std::string();
  };
  // Nobody is left to hear the rest once the channel is gone (the scan's
  // program ended): probing on would only load the network and the machine.
  const ReportSink sink = [&](const std::string& text) {
    if (!WriteReportBytes(job.reportFd, EncodeReportFrame(text))) std::_Exit(4);
  };
  ProbeSettings settings;
  settings.nameTimeoutMs = ReverseLookupPatienceMs();
  settings.lookupThreads = LookupsInFlightLimit();
  RunScanJob(job, *icmp, *resolver, macQuery, sink, settings);
  std::fflush(nullptr);
  // Lookup threads past their time-out may still be blocked: do not wait.
  std::_Exit(0);
}
