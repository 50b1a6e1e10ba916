#pragma once
// Result records of a ping run, the run statistics, the texts made from them
// and the two run log file formats. Plain C++: the run engine, the reload, the
// exports and the report all work on these.

#include <atomic>
#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/common/FileStamp.h"
#include "core/common/LocalDateTime.h"
#include "core/common/TargetGroup.h"
#include "core/ping/PingParameters.h"

namespace sondrel {

// Date and time of one result, one number per field. A field that a reloaded
// log line did not carry as a number holds kNoField (kNoYear) and is shown as
// blanks of its width.
struct ResultTime {
  static constexpr std::uint16_t kNoYear = 0xFFFF;
  static constexpr std::uint8_t kNoField = 0xFF;
  std::uint16_t year = kNoYear;
  std::uint8_t month = kNoField;
  std::uint8_t day = kNoField;
  std::uint8_t hour = kNoField;
  std::uint8_t minute = kNoField;
  std::uint8_t second = kNoField;

  static ResultTime from(const LocalDateTime& t);
};

// One ping result. Kept small: a run of weeks holds millions of them.
struct ResultRecord {
  ResultTime when;
  std::uint32_t target = 0;      // index into the run's address table
  std::int32_t bufferSize = 0;   // bytes sent; 32-bit so typed sizes never wrap
  std::int32_t time = -1;        // ms; 0 under 1 ms; -1 no reply
  std::int32_t status = 0;       // status code of the echo
  std::int16_t ttl = 0;          // 0 when there was no reply
};
static_assert(sizeof(ResultRecord) <= 40, "a result record must stay compact");

inline constexpr std::int64_t kNoMinimum = 999999;

// Counters and sums are 64-bit, so nothing overflows in a run of weeks.
struct RunStatistics {
  std::int64_t sent = 0;
  std::int64_t lost = 0;
  std::int64_t timeSum = 0;
  std::int64_t ttlSum = 0;
  std::int64_t minTime = kNoMinimum;
  std::int64_t maxTime = 0;
  std::int64_t avgTime = 0;
  std::int64_t avgTtl = 0;
  std::string firstTarget;  // the first target of the run

  std::int64_t received() const { return sent - lost; }
  bool anyReply() const { return minTime != kNoMinimum; }
};

// Counts one result: sent, lost or the reply's sums, extremes and averages.
void CountResult(RunStatistics& stats, const ResultRecord& record);

// After a reload: a minimum, maximum or average time of 0 reads 1 ms once any
// reply came (a reply under 1 ms counts as 1 ms in the figures).
void RaiseZeroTimes(RunStatistics& stats);

// lost / sent rounded to four places (halves to even), in hundredths of a
// percent: 3333 for 1 of 3; 0 when nothing was sent.
std::int64_t LossHundredths(std::int64_t sent, std::int64_t lost);
// That as a percentage with two decimals and " %": "33.33 %".
std::string FormatLossRate(std::int64_t sent, std::int64_t lost);

// The statistics as the display's value labels show them.
struct StatisticsTexts {
  std::string sent, received, lost, lossRate;
  std::string minTime, maxTime, avgTime;  // "N ms", or "0 ms" each before any reply
  std::string avgTtl;
};
StatisticsTexts FormatStatistics(const RunStatistics& stats);

// The statistics block of the text export, from "Sent:       N" to
// "Avg TTL:    N" (seven lines).
std::vector<std::string> FormatStatisticsLines(const RunStatistics& stats);

// The records of one run with the addresses they point into, the run's
// targets and statistics. The run engine fills it live; a reload rebuilds it.
struct RunData {
  std::vector<std::string> addresses;  // address table the records index
  std::vector<ResultRecord> records;   // in arrival order; target k at k, k+N, ...
  std::vector<std::string> targetLabels;
  // The named list entries (groups, ranges) the targets came from; known
  // for a run of this program only, not for one reloaded or archived.
  std::vector<TargetGroup> targetGroups;
  std::int32_t targetCount = 0;
  std::int32_t stepLength = 1;
  RunStatistics stats;
  std::int64_t damagedLines = 0;  // log lines a reload could not read whole
  // The result log these records were read from, or that their run wrote,
  // as it was then; nothing when not known. An export deletes the log only
  // while it is still that file.
  std::optional<FileStamp> logStamp;
  // The run's identifier in the run archive when it was opened from there
  // (an export then leaves the log alone); 0 otherwise.
  std::int64_t archiveRun = 0;

  // The record's address as stored: at most 15 characters, no padding.
  std::string_view ip(const ResultRecord& record) const;
  // Index of the address in the table (as RecordIP keeps it), adding it when new.
  std::uint32_t internAddress(std::string_view address);
  void clear();

 private:
  std::unordered_map<std::string, std::uint32_t> lookup_;
  std::uint32_t lookupHint_ = 0;
};

// The fixed width of an address in a record.
inline constexpr std::size_t kRecordIPWidth = 15;
// An address as a record keeps it: cut to 15 characters, blanks trimmed.
std::string RecordIP(std::string_view address);

// "03/07 14:05:09" and "2026/03/07 14:05:09".
std::string FormatResultTimeShort(const ResultRecord& record);
std::string FormatResultTimeLong(const ResultRecord& record);

// The two texts of a result row: "03/07 14:05:09   Reply from 10.0.0.1" and
// "bytes=32  time=15ms  TTL=64  ok" (or "  time<1", or the status text).
struct ResultRowTexts {
  std::string first;
  std::string second;
};
ResultRowTexts FormatResultRow(const ResultRecord& record, std::string_view ip);
// What the row says of the echo's outcome: "ok" for a reply, else the
// status's text.
std::string ResultStatusText(const ResultRecord& record);
inline ResultRowTexts FormatResultRow(const RunData& run, const ResultRecord& record) {
  return FormatResultRow(record, run.ip(record));
}

// The last reply line: 100 characters, blank-padded.
inline constexpr std::size_t kLastReplyLineWidth = 100;
std::string FormatLastReplyLine(const ResultRecord& record, std::string_view target,
                                std::string_view statusText);

// One line with CR, LF and outer blanks removed; "" at the end of the stream.
std::string ReadLineTrimmed(std::istream& in);

// ---- "Tolvane_DB3.txt" and "Tolvane_DB4.txt" ----

inline constexpr std::string_view kLineEnd = "\r\n";

// "3,1"
std::string FormatLogHeader(std::int32_t targetCount, std::int32_t stepLength);
// "2026,03,07,14,05,09,10.0.0.1,32,15,64,0"
std::string FormatLogLine(const ResultRecord& record, std::string_view ip);

// The target count is capped at the program's own limit on targets.
bool ParseLogHeader(std::string_view line, std::int32_t& targetCount, std::int32_t& stepLength);

// The status a damaged log line reloads with (shown as an unknown status).
inline constexpr std::int32_t kDamagedLineStatus = -2;
// A record of a damaged log line: what its ping gave is not known, so it
// keeps its place and row but counts in no figure (sent, lost, averages).
inline bool IsDamaged(const ResultRecord& record) { return record.status == kDamagedLineStatus; }
// What the user is told of the damaged lines of a reloaded log.
std::string DamagedLinesText(std::int64_t damaged, std::string_view logPath);

// Fills the record from one result line; the address is interned in the
// run's table. A damaged line (not eleven fields, a field that is not a
// number of its width, no address) still gives one record, so the records of
// later lines keep their places, but never a reply: its time is -1, its TTL 0
// and its status kDamagedLineStatus; date fields that are not numbers are
// left empty. False for a damaged line.
bool ParseLogLine(std::string_view line, RunData& run, ResultRecord& record);

struct LoadOptions {
  // Called now and then with the number of lines still to go, and 0 at the end.
  std::function<void(std::int64_t remaining)> progress;
  // Checked now and then; once true the load gives up (returns false).
  const std::atomic<bool>* cancel = nullptr;
  // Given the records' memory once it is reserved, before it is filled, so
  // the caller may ask the system for large pages: touching hundreds of MB
  // page by page is a good part of a reload otherwise.
  std::function<void(void* data, std::size_t bytes)> recordMemory;
};

// Reads a result log, and the target file when given, into `run`, in pieces
// of a fixed size: the memory it takes is the records and one piece. Stops at
// the first empty line; a last line without its line end (cut short by a
// crash) is left out, but not from the target file, which is written whole.
// Damaged lines are counted in run.damagedLines and in no statistic. False
// when the log held no result line (nothing to show); `run` is left as it was
// then. The log stream is read twice (it must be seekable).
bool LoadRunLog(std::istream& log, std::istream* targets, RunData& run,
                const LoadOptions& options = {});
// The same on file contents in memory; `targets` null when there is no target file.
bool LoadRunLog(std::string_view log, const std::string_view* targets, RunData& run,
                const LoadOptions& options = {});

// ---- The run's choices made from the parameters ----

// Position in the buffer-size cycle of a run.
struct SizeCycle {
  std::int32_t stepCounter = 0;  // pings at the current size
  std::int32_t index = 0;        // current size in the cycle
};

// The size and send data of the next ping: advances the cycle in the
// Incremental and Multiple modes, the current data otherwise.
struct SendChoice {
  std::int32_t size = 0;
  std::string data;
};
SendChoice NextSend(const PingParameters& params, SizeCycle& cycle, std::int32_t stepLength);

// Pings per size across all targets for a cycling mode, 1 for a single size.
std::int32_t StepLengthFor(const PingParameters& params, std::int32_t targetCount);

// "Ping testing with 32 bytes of data:            3  IP "
std::string FormatRunTitle(std::size_t sendDataLength, std::int32_t targetCount);

// True once every target has had its number of pings (0: never).
bool PingsDone(const RunStatistics& stats, std::int32_t pingsPerTarget,
               std::int32_t targetCount);

}  // namespace sondrel
