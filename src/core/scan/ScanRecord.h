#pragma once
// The scan table: one record per scanned address, in scan-list order. Every
// field is text, as the worker reports it; the scan run fills it, the MAC
// lookup completes it, the grid shows it and the export writes it.

#include <string>
#include <vector>

namespace sondrel {

struct ScanRecord {
  std::string ip;    // dotted address, set before the worker starts
  std::string ms;    // round-trip time in ms, "Dead", or empty while pending
  std::string host;  // host name from the reverse lookup; may be empty
  std::string mac;   // six upper-case hex pairs joined by "-"; may be empty
  std::string ttl;   // TTL of the reply
  // The scan ended without its report: the workers that had it could not
  // run or died, so nothing more is awaited for it. `ms` stays empty.
  bool notReported = false;

  bool dead() const { return ms == "Dead"; }
  bool pending() const { return ms.empty() && !notReported; }
};

using ScanTable = std::vector<ScanRecord>;

}  // namespace sondrel
