#include "core/report/Report.h"

#include <charconv>
#include <cmath>
#include <unordered_map>

#include "core/common/AddressHelpers.h"
#include "core/results/ScanExport.h"

namespace sondrel {

namespace {

constexpr std::int64_t kCancelCheckEvery = 1 << 16;

int FieldValue(std::uint8_t field) { return field == ResultTime::kNoField ? 0 : field; }

// Days since 1970-01-01 of a proleptic Gregorian date (Hinnant's algorithm);
// plain arithmetic, so odd fields of a damaged line give odd but defined days.
std::int64_t DayNumber(const ResultTime& t) {
  std::int64_t y = t.year == ResultTime::kNoYear ? 0 : t.year;
  const std::int64_t m = FieldValue(t.month);
  const std::int64_t d = FieldValue(t.day);
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t mp = m > 2 ? m - 3 : m + 9;
  const std::int64_t doy = (153 * mp + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

std::int32_t ClampTo32(double v) {
  if (v > 2147483647.0) return 2147483647;
  if (v < -2147483648.0) return -2147483647 - 1;
  return static_cast<std::int32_t>(v);
}

bool Cancelled(const std::atomic<bool>* cancel, std::int64_t visited) {
  return cancel != nullptr && (visited % kCancelCheckEvery) == 0 &&
         cancel->load(std::memory_order_relaxed);
}

std::string PadTo(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

const std::string& LabelOf(const ReportTarget& target) {
  return target.label.empty() ? target.address : target.label;
}

}  // namespace

std::int64_t LastRecordIndex(const RunData& run) {
  return static_cast<std::int64_t>(run.records.size()) - 1;
}

std::int32_t MinutesBetween(const ResultRecord& a, const ResultRecord& b) {
  const std::int64_t days = DayNumber(b.when) - DayNumber(a.when);
  const std::int64_t minutes = days * 1440 +
                               (FieldValue(b.when.hour) - FieldValue(a.when.hour)) * 60 +
                               (FieldValue(b.when.minute) - FieldValue(a.when.minute));
  return ClampTo32(static_cast<double>(minutes));
}

std::int32_t MinutesBetween(const RunData& run, std::int64_t a, std::int64_t b) {
  return MinutesBetween(run.records[static_cast<std::size_t>(a)],
                        run.records[static_cast<std::size_t>(b)]);
}

ReportPeriod OpenPeriod(const ResultRecord& first) {
  ReportPeriod p;
  p.from = FormatResultTimeShort(first);
  p.bufferSize = first.bufferSize;
  return p;
}

void AddToPeriod(ReportPeriod& period, const ResultRecord& record) {
  ++period.sent;
  period.ttlSum += record.ttl;
  if (record.time != -1)
    period.timeSum += record.time;
  else
    ++period.lost;
}

void ClosePeriod(ReportPeriod& period, const ResultRecord& lastRecord) {
  period.to = FormatResultTimeShort(lastRecord);
  period.lossRate = PadTo(FormatLossRate(period.sent, period.lost), kLossRateWidth);
  const std::int64_t received = static_cast<std::int64_t>(period.sent) - period.lost;
  if (received < 1) {
    period.avgTime = -1;
    period.avgTtl = 0;
  } else {
    const double n = static_cast<double>(received);
    period.avgTime = ClampTo32(std::floor(static_cast<double>(period.timeSum) / n + 0.5));
    period.avgTtl = ClampTo32(std::floor(static_cast<double>(period.ttlSum) / n + 0.5));
  }
}

std::optional<double> LeadingPeriodNumber(std::string_view text) {
  const std::string trimmed = TrimBlanks(text);
  std::string_view t = trimmed;
  if (!t.empty() && t.front() == '+') t.remove_prefix(1);
  double value = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value,
                                         std::chars_format::fixed);
  (void)end;
  if (ec != std::errc()) return std::nullopt;
  return value;
}

double PeriodMinutesFromText(std::string_view text) {
  const std::optional<double> value = LeadingPeriodNumber(text);
  if (!value || !std::isfinite(*value) || *value <= 0) return 1;
  return *value;
}

std::string ProposedPeriodText(const RunData& run) {
  if (run.records.empty()) return "1";
  const std::int32_t minutes = MinutesBetween(run.records.front(), run.records.back());
  const std::int32_t proposal = minutes / 10;
  return proposal < 1 ? "1" : std::to_string(proposal);
}

std::vector<ReportPeriod> BuildTargetPeriods(const RunData& run, std::int32_t k, double minutes,
                                             const std::atomic<bool>* cancel) {
  std::vector<ReportPeriod> out;
  const std::int64_t last = LastRecordIndex(run);
  const std::int64_t n = run.targetCount < 1 ? 1 : run.targetCount;
  if (k < 0 || k > last) return out;
  if (!(minutes > 0)) minutes = 1;
  const auto& rec = run.records;
  std::int64_t start = -1;  // the first record of the open period
  std::int64_t previous = -1;
  ReportPeriod period;
  std::int64_t visited = 0;
  for (std::int64_t i = k; i <= last; i += n, ++visited) {
    if (Cancelled(cancel, visited)) return out;
    const ResultRecord& r = rec[static_cast<std::size_t>(i)];
    // Not known to be a loss, and its time may be damaged too: no period
    // counts it, opens or ends with it.
    if (IsDamaged(r)) continue;
    if (start < 0) {
      start = i;
      period = OpenPeriod(r);
    } else if (MinutesBetween(rec[static_cast<std::size_t>(start)], r) >= minutes) {
      ClosePeriod(period, rec[static_cast<std::size_t>(previous)]);
      out.push_back(std::move(period));
      start = i;
      period = OpenPeriod(r);
    }
    AddToPeriod(period, r);
    previous = i;
  }
  if (previous < 0) return out;
  ClosePeriod(period, rec[static_cast<std::size_t>(previous)]);
  out.push_back(std::move(period));
  return out;
}

std::vector<ReportPeriod> BuildTargetSizes(const RunData& run, std::int32_t k,
                                           const std::atomic<bool>* cancel) {
  std::vector<ReportPeriod> out;
  std::vector<std::int64_t> lastOf;  // the latest record of each row
  const std::int64_t last = LastRecordIndex(run);
  const std::int64_t n = run.targetCount < 1 ? 1 : run.targetCount;
  if (k < 0 || k > last) return out;
  std::unordered_map<std::int32_t, std::size_t> rowOf;
  std::size_t current = 0;  // the row of the previous record: sizes come in runs
  std::int64_t visited = 0;
  for (std::int64_t i = k; i <= last; i += n, ++visited) {
    if (Cancelled(cancel, visited)) return out;
    const ResultRecord& r = run.records[static_cast<std::size_t>(i)];
    if (IsDamaged(r)) continue;  // its size may be damaged as well
    if (out.empty() || out[current].bufferSize != r.bufferSize) {
      auto [it, added] = rowOf.try_emplace(r.bufferSize, out.size());
      if (added) {
        out.push_back(OpenPeriod(r));
        lastOf.push_back(i);
      }
      current = it->second;
    }
    AddToPeriod(out[current], r);
    lastOf[current] = i;
  }
  for (std::size_t row = 0; row < out.size(); ++row)
    ClosePeriod(out[row], run.records[static_cast<std::size_t>(lastOf[row])]);
  return out;
}

Result<Report> BuildReport(const RunData& run, double minutes, ReportGrouping grouping,
                           const std::atomic<bool>* cancel) {
  const std::int64_t last = LastRecordIndex(run);
  if (last == -1) return Error{1, std::string(kReportNoData)};
  const std::int32_t n = run.targetCount < 1 ? 1 : run.targetCount;
  if (n - 1 > last) return Error{2, std::string(kReportIncomplete)};
  if (!(minutes > 0)) minutes = 1;
  Report report;
  report.grouping = grouping;
  report.targets.resize(static_cast<std::size_t>(n));
  for (std::int32_t k = 0; k < n; ++k) {
    ReportTarget& t = report.targets[static_cast<std::size_t>(k)];
    t.address = std::string(run.ip(run.records[static_cast<std::size_t>(k)]));
    if (static_cast<std::size_t>(k) < run.targetLabels.size())
      t.label = run.targetLabels[static_cast<std::size_t>(k)];
    t.periods = grouping == ReportGrouping::BufferSize ? BuildTargetSizes(run, k, cancel)
                                                       : BuildTargetPeriods(run, k, minutes, cancel);
  }
  return report;
}

std::string FormatReplyTime(std::int32_t t) {
  if (t == 0) return "<1 ms";
  if (t == -1) return "---";
  return std::to_string(t) + " ms";
}

std::string FormatTimeField(std::int32_t t) {
  if (t == -1) return {};
  return std::to_string(t);
}

double LossRateValue(std::string_view rateText) {
  std::string text(rateText);
  if (const auto pos = text.find(" %"); pos != std::string::npos) text.erase(pos, 2);
  const std::string trimmed = TrimBlanks(text);
  double v = 0;
  std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), v, std::chars_format::fixed);
  return std::isfinite(v) ? v : 0;
}

std::string LossRateBar(std::string_view rateText) {
  double v = LossRateValue(rateText);
  if (v < 0) v = 0;
  if (v > 100) v = 100;
  const auto bars = static_cast<std::int64_t>(std::floor(v + 2.5)) / 5;
  return std::string(static_cast<std::size_t>(bars), '=');
}

std::string ShortLabel(std::string_view label) {
  const auto slash = label.find('/');
  return TrimBlanks(slash == std::string_view::npos ? label : label.substr(0, slash));
}

std::string LossRateCell(std::string_view lossRate) {
  const std::string t = TrimBlanks(lossRate);
  if (t.size() == 7) return "  " + t + " ";
  if (t.size() == 6) return "    " + t + "  ";
  return t;
}

std::string ReportStamp(const ResultRecord& record) {
  const std::string row = FormatResultTimeShort(record).substr(0, 12);
  std::string out;
  for (char c : row)
    if (c != '/' && c != ':' && c != ' ') out += c;
  return out;
}

namespace {

constexpr std::string_view kEnd = "\r\n";

// What one of the report's files writes where the walk comes to it.
struct ReportLayout {
  void (*heading)(std::ostream& out, bool bySize);
  void (*target)(std::ostream& out, const std::string& label);
  void (*row)(std::ostream& out, const ReportPeriod& period, bool bySize);
};

// Both files walk the report alike: the heading, then each target's heading
// and rows, each target ended by an empty line and a line of one blank.
void WriteReport(std::ostream& out, const Report& report, const ReportLayout& layout) {
  const bool bySize = report.grouping == ReportGrouping::BufferSize;
  layout.heading(out, bySize);
  for (const ReportTarget& t : report.targets) {
    layout.target(out, LabelOf(t));
    for (const ReportPeriod& p : t.periods) layout.row(out, p, bySize);
    out << kEnd << ' ' << kEnd;
  }
}

void TextHeading(std::ostream& out, bool bySize) {
  out << ' ' << kEnd;
  // The size heading keeps the TTL column where the time heading has it.
  out << (bySize ? "Date Time                  Buffer      TTL"
                 : "Test Time                              TTL")
      << "\tSent\tLost\tAvg Time\tLoss Rate" << kEnd;
  out << std::string(90, '-') << kEnd;
}

void TextTarget(std::ostream& out, const std::string& label) {
  out << kEnd << "IP: " << label << kEnd << kEnd;
}

void TextRow(std::ostream& out, const ReportPeriod& p, bool bySize) {
  const std::string field = PadTo(p.lossRate, kLossRateWidth);
  const std::size_t used = TrimBlanks(field).size();
  out << p.from << " - " << p.to;
  if (bySize)
    out << "  " << PadTo(std::to_string(p.bufferSize), 6) << "  ";
  else
    out << "        ";
  out << p.avgTtl << '\t' << p.sent << '\t' << p.lost << '\t' << FormatReplyTime(p.avgTime)
      << "    \t" << std::string(used < kLossRateWidth ? kLossRateWidth - used : 0, ' ')
      << field << kEnd;
}

void CsvHeading(std::ostream& out, bool bySize) {
  out << "Ping Test Report" << kEnd;
  out << (bySize ? "Test Time From,To,Buffer Size,TTL,Sent,Lost,Avg Time,Loss Rate"
                 : "Test Time From,To,TTL,Sent,Lost,Avg Time,Loss Rate")
      << kEnd;
}

void CsvTarget(std::ostream& out, const std::string& label) {
  // A comma in the label starts a cell a spreadsheet could run.
  out << GuardCells("IP: " + label) << kEnd << kEnd;
}

void CsvRow(std::ostream& out, const ReportPeriod& p, bool bySize) {
  out << p.from << ',' << p.to << ',';
  if (bySize) out << p.bufferSize << ',';
  out << p.avgTtl << ',' << p.sent << ',' << p.lost << ',' << FormatTimeField(p.avgTime) << ','
      << PadTo(p.lossRate, kLossRateWidth) << kEnd;
}

}  // namespace

void ExportReportText(std::ostream& out, const Report& report) {
  WriteReport(out, report, {TextHeading, TextTarget, TextRow});
}

void ExportReportCsv(std::ostream& out, const Report& report) {
  WriteReport(out, report, {CsvHeading, CsvTarget, CsvRow});
}

}  // namespace sondrel
