#include "core/results/PingExport.h"

#include <string>

#include "core/ping/PingMoudle.h"
#include "core/results/ScanExport.h"

namespace sondrel {
namespace {

void Line(std::ostream& out, const std::string& text) { out << text << kLineEnd; }

// The label a target is listed under; a target file shorter than the run
// leaves the label empty.
std::string LabelOf(const RunData& run, std::int32_t target) {
  const auto i = static_cast<std::size_t>(target);
  return i < run.targetLabels.size() ? run.targetLabels[i] : std::string();
}

// Calls `each(k, record)` for the records of `target` (positions target,
// target + N, ...), k counting from 1.
template <typename F>
void ForTargetRecords(const RunData& run, std::int32_t target, F each) {
  const auto step = static_cast<std::size_t>(run.targetCount);
  std::int64_t k = 0;
  for (std::size_t i = static_cast<std::size_t>(target); i < run.records.size(); i += step)
    each(++k, run.records[i]);
}

std::string Span(const RunData& run) {
  return FormatResultTimeLong(run.records.front()) + "  -  " +
         FormatResultTimeLong(run.records.back());
}

// "2026,03,07,14,05,09": the date and time fields as the log keeps them.
std::string DateFields(const ResultRecord& r) {
  const std::string line = FormatLogLine(r, "");
  std::size_t cut = 0;
  for (int commas = 0; commas < 6 && cut != std::string::npos; ++commas)
    cut = line.find(',', commas == 0 ? 0 : cut + 1);
  return line.substr(0, cut);
}

void Preamble(std::ostream& out, const std::string& firstLine) {
  Line(out, firstLine);
  Line(out, " ");
  Line(out, " ");
  Line(out, " ");
  Line(out, "Reault:");
  Line(out, " ");
}

}  // namespace

void ExportPingText(std::ostream& out, const RunData& run) {
  if (run.records.empty()) return;
  Preamble(out, "Ping test at :  " + Span(run));
  for (const std::string& line : FormatStatisticsLines(run.stats)) Line(out, line);
  Line(out, " ");
  Line(out, " ");
  Line(out, "Detail:");
  Line(out, " ");
  for (std::int32_t t = 0; t < run.targetCount; ++t) {
    Line(out, "  ");
    Line(out, "  ");
    Line(out, "Ping  " + LabelOf(run, t) + ":");
    Line(out, "  ");
    ForTargetRecords(run, t, [&](std::int64_t k, const ResultRecord& r) {
      const ResultRowTexts row = FormatResultRow(run, r);
      Line(out, std::to_string(k) + ". " + row.first + "  " + row.second);
    });
    Line(out, "  ");
  }
  Line(out, " ");
}

void ExportPingCsv(std::ostream& out, const RunData& run) {
  if (run.records.empty()) return;
  Preamble(out, "Ping test at," + Span(run));
  const StatisticsTexts s = FormatStatistics(run.stats);
  Line(out, "Sent," + s.sent);
  Line(out, "Received," + s.received);
  Line(out, "Lost," + s.lost);
  Line(out, "Loss Rate," + s.lossRate);
  Line(out, "Min Time," + s.minTime);
  Line(out, "Max Time," + s.maxTime);
  Line(out, "Avg Time," + s.avgTime);
  Line(out, "Avg TTL," + s.avgTtl);
  Line(out, " ");
  Line(out, " ");
  Line(out, "Detail:");
  Line(out, " ");
  Line(out, "No.,Year,Month,Day,Hour,Minute,Second,IP,Send Buffer Size(Byte),Time(ms),TTL,Status");
  for (std::int32_t t = 0; t < run.targetCount; ++t) {
    // The label may come from a name server or a hand-edited target file.
    const std::string label = GuardCells(LabelOf(run, t));
    ForTargetRecords(run, t, [&](std::int64_t k, const ResultRecord& r) {
      Line(out, std::to_string(k) + ".," + DateFields(r) + "," + label + "," +
                    std::to_string(r.bufferSize) + "," +
                    (r.time == -1 ? std::string() : std::to_string(r.time)) + "," +
                    std::to_string(r.ttl) + "," + PingMoudle::GetStatusCode(r.status));
    });
    Line(out, "  ");
  }
  Line(out, " ");
}

}  // namespace sondrel
