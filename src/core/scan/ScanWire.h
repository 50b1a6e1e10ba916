#pragma once
// What the scan run and its worker processes say to each other: the worker's
// command line, the report texts, the frames they travel in, and the NetBIOS
// node-status exchange the worker uses for a host's MAC.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/scan/NeighbourTable.h"  // FormatMac, for the reports
#include "core/scan/ScanRecord.h"

namespace sondrel {

// One address for a worker and its index in the scan table, both as text.
struct ScanPair {
  std::string address;
  std::string index;
};

// The worker's command line: fields separated by ",". Field 0 is the number
// of the inherited report descriptor, fields 1-6 hold up to three
// address/index pairs (empty when unused), field 7 the start delay; any
// further pairs follow from field 8 on, two fields each.
struct WorkerJob {
  int reportFd = -1;
  std::vector<ScanPair> pairs;
  long delay = 0;
};

std::string BuildWorkerCommandLine(int reportFd, const std::vector<ScanPair>& pairs, long delay);
// Fields that are not numbers count as 0 (the delay) or -1 (the descriptor);
// pairs with an empty address are skipped.
WorkerJob ParseWorkerCommandLine(std::string_view text);
// The worker program's arguments after its name (argv[1] to argv[argc - 1]):
// joined by blanks, so a line the shell split at blanks reads as one, then
// parsed as above.
WorkerJob ParseWorkerArguments(int argc, const char* const* argv);

// A name from the network made safe for a report field: every "," and every
// control character (bytes below 32 and 127) removed, surrounding blanks
// trimmed.
std::string CleanReportName(std::string_view name);

// What ends a host name that was cut to fit its report. A name from the
// resolver never holds two dots in a row, so the cut cannot be mistaken for
// a name.
inline constexpr std::string_view kNameCutMark = "...";
// `name` when it has at most `room` bytes; otherwise its longest run of
// whole labels that leaves room for kNameCutMark, followed by the mark (a
// first label longer than that is cut inside), or "" when not even the mark
// fits.
std::string FitReportName(std::string_view name, std::size_t room);

// "INDEX,MS,TTL,HOST,MAC" for a live host (host and MAC cleaned here too). A
// host name that would make the report too long for its frame is cut by
// FitReportName; a MAC longer than six hex pairs is none.
std::string LiveReport(std::string_view index, std::uint32_t ms, unsigned ttl,
                       std::string_view host, std::string_view mac);
// "INDEX,Dead".
std::string DeadReport(std::string_view index);

// Report frames: the identifier byte, the text, one NUL; at most
// kReportFrameBytes in all. Only identifier kReportIdentifier is a report.
inline constexpr std::size_t kReportFrameBytes = 256;
inline constexpr unsigned char kReportIdentifier = 3;
// The longest report text a frame holds.
inline constexpr std::size_t kMaxReportText = kReportFrameBytes - 2;
// Empty when the text does not fit a frame or holds a NUL.
std::string EncodeReportFrame(std::string_view text,
                              unsigned char identifier = kReportIdentifier);

struct ReportFrame {
  unsigned char identifier = 0;
  std::string text;
};

// Cuts the byte stream of one worker into frames. Bytes of a frame that grows
// past kReportFrameBytes are dropped up to its NUL.
class ReportFrameReader {
 public:
  void feed(std::string_view bytes, std::vector<ReportFrame>& out);

 private:
  std::string pending_;
  bool overlong_ = false;
};

// Scan counters, reset at each scan start.
struct ScanCounters {
  std::int32_t total = 0;
  std::int32_t received = 0;
  std::int32_t active = 0;
  std::int32_t inactive = 0;
  std::int32_t reportsShown = 0;
};

// One report text into the table and counters. An index outside the table
// counts in `received` but stores nothing and counts nowhere else.
void ApplyScanReport(std::string_view text, ScanTable& table, ScanCounters& counters);

// A live host is reported twice: at once, without host and MAC, as soon as
// its echo answers, and again, in the same form with the same MS and TTL,
// once its name lookup has ended (with whatever it found, empty too). This
// is the second one: true when `text` is that report for `record`, whose
// host and MAC it then takes; nothing is counted.
bool ApplyNameReport(std::string_view text, ScanRecord& record);

// The NetBIOS node-status request (name "*"), with the transaction id given.
std::vector<std::uint8_t> NodeStatusRequest(std::uint16_t transactionId);
// The unit id (MAC) of a node-status response to that transaction; empty when
// the response is not one, is cut short, or carries an all-zero MAC.
std::optional<std::array<std::uint8_t, 6>> ParseNodeStatusResponse(
    const std::uint8_t* data, std::size_t size, std::uint16_t transactionId);

}  // namespace sondrel
