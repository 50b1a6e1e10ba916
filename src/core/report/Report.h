#pragma once
// The summary report: the records of the last run cut into periods of P
// minutes (or into the buffer sizes used) per target, the small texts the
// report shares with the results export, and the report's text and CSV files.
// Plain C++: the report window, its export and the command line share it.

#include <atomic>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/common/Result.h"
#include "core/ping/RunRecords.h"

namespace sondrel {

inline constexpr std::string_view kReportNoData = "No Data to Generate Report.    ";
inline constexpr std::string_view kReportIncomplete =
    "Ping test doesn't completed, Cannot generate report.    ";
inline constexpr std::string_view kOpenLossRate = "--------";
inline constexpr std::size_t kLossRateWidth = 8;

// One row of the report. While open, timeSum and ttlSum collect the sums
// (64-bit: a period of weeks at P = 100000 holds millions of replies); closing
// turns them into the rounded averages.
struct ReportPeriod {
  std::string from;  // "mm/dd hh:mm:ss" of the first record
  std::string to;    // the same of the last record
  std::int32_t sent = 0;
  std::int32_t lost = 0;
  std::string lossRate = std::string(kOpenLossRate);  // "33.33 % " once closed
  std::int32_t avgTime = 0;  // ms, -1 without replies
  std::int32_t avgTtl = 0;   // 0 without replies
  std::int32_t bufferSize = 0;  // the size of the row when grouped by size
  std::int64_t timeSum = 0;
  std::int64_t ttlSum = 0;
};

struct ReportTarget {
  std::string address;  // the ip of the target's first record
  std::string label;    // the target's full label
  std::vector<ReportPeriod> periods;
};

enum class ReportGrouping { TimePeriod, BufferSize };

struct Report {
  ReportGrouping grouping = ReportGrouping::TimePeriod;
  std::vector<ReportTarget> targets;
};

// Index of the last record, -1 when there is none.
std::int64_t LastRecordIndex(const RunData& run);

// Whole minutes from a to b by calendar day, hour and minute (seconds
// ignored); negative when the clock went back. A field a damaged log line did
// not carry counts as 0.
std::int32_t MinutesBetween(const ResultRecord& a, const ResultRecord& b);
std::int32_t MinutesBetween(const RunData& run, std::int64_t a, std::int64_t b);

// A new open period starting at `first` (not yet counted).
ReportPeriod OpenPeriod(const ResultRecord& first);
void AddToPeriod(ReportPeriod& period, const ResultRecord& record);
void ClosePeriod(ReportPeriod& period, const ResultRecord& lastRecord);

// The period length typed in the report window's box: the leading decimal
// number. Periods are cut at whole clock minutes (seconds do not count), so
// a fraction groups as the whole number above it: 0.25 as 1, 2.5 as 3. Not a
// number, zero or negative gives 1, so the walk always has a first record
// inside its period.
double PeriodMinutesFromText(std::string_view text);
// The number the period box's text starts with (blanks around it and a
// leading "+" allowed, no exponent); nothing when it does not start with one.
std::optional<double> LeadingPeriodNumber(std::string_view text);
// A proposal for the box: the run's minutes div 10, "1" when that is below 1
// or there are no records.
std::string ProposedPeriodText(const RunData& run);

// The periods of target k (records k, k + N, ...). `cancel` is checked now
// and then; once set the result is incomplete and not to be used.
std::vector<ReportPeriod> BuildTargetPeriods(const RunData& run, std::int32_t k, double minutes,
                                             const std::atomic<bool>* cancel = nullptr);
// The rows of target k by buffer size, in the order the sizes were first used.
std::vector<ReportPeriod> BuildTargetSizes(const RunData& run, std::int32_t k,
                                           const std::atomic<bool>* cancel = nullptr);

// The whole report, or the refusal (kReportNoData, kReportIncomplete) as the
// error's message. A P that is not above 0 is taken as 1.
Result<Report> BuildReport(const RunData& run, double minutes,
                           ReportGrouping grouping = ReportGrouping::TimePeriod,
                           const std::atomic<bool>* cancel = nullptr);

// 0 -> "<1 ms", -1 -> "---", else "15 ms".
std::string FormatReplyTime(std::int32_t t);
// 0 -> "0", -1 -> "", else "15".
std::string FormatTimeField(std::int32_t t);
// The number of a loss-rate text ("33.33 %" gives 33.33), read with "." as
// the decimal point whatever the user's locale; 0 when there is none.
double LossRateValue(std::string_view rateText);
// "=" per 5 % (rounded): 100 % gives 20, 33.33 % gives 7, under 2.50 % none.
std::string LossRateBar(std::string_view rateText);
// The label before its first "/", blanks trimmed: the host name of "name / address".
std::string ShortLabel(std::string_view label);
// The loss-rate column of the window: a 7-character rate as two blanks, the
// rate and one blank; a 6-character one as four blanks, the rate, two blanks.
std::string LossRateCell(std::string_view lossRate);

// The default name's stamp from a record: mmddhhmm.
std::string ReportStamp(const ResultRecord& record);

// The files, every line ended by CR LF.
void ExportReportText(std::ostream& out, const Report& report);
void ExportReportCsv(std::ostream& out, const Report& report);

}  // namespace sondrel
