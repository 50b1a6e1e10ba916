#include "monitor/RunMonitor.h"
#include "settings/UserSettings.h"

#include "archive/RunArchive.h"

#include <QDateTime>
#include <QSettings>
#include <algorithm>
#include <limits>
#include <cstdio>
#include <cstring>

namespace sondrel {

RunMonitor::RunMonitor(int outageThreshold, std::int64_t windowUs, QObject* parent)
    : QObject(parent), threshold_(outageThreshold), windowUs_(windowUs), outages_(outageThreshold) {}

void RunMonitor::runStarted(const RunData& run, const PingParameters&) {
  outages_ = OutageTracker(threshold_);
  latency_.assign(run.addresses.size(), TargetLatency(windowUs_));
  addresses_ = run.addresses;
  labels_ = run.targetLabels;
  groups_ = run.targetGroups;
  live_ = true;
  changed_ = true;
  nextFiguresUs_ = INT64_MIN;
  Q_EMIT reset();
}

void RunMonitor::previousRunShown(const RunData& run) {
  outages_ = OutageTracker(threshold_);
  latency_.assign(run.addresses.size(), TargetLatency(windowUs_));
  addresses_ = run.addresses;
  labels_ = run.targetLabels;
  groups_ = run.targetGroups;
  live_ = false;
  // The records' times change once a second: each is turned into µs once.
  ResultTime lastWhen;
  std::int64_t sentUs = 0;
  bool known = false;
  for (const ResultRecord& r : run.records) {
    if (IsDamaged(r) || r.target >= latency_.size()) continue;
    if (!known || std::memcmp(&r.when, &lastWhen, sizeof lastWhen) != 0) {
      known = true;
      lastWhen = r.when;
      const QDateTime when(QDate(r.when.year, r.when.month, r.when.day),
                           QTime(r.when.hour, r.when.minute, r.when.second));
      sentUs = when.toMSecsSinceEpoch() * 1000;
    }
    const bool replied = r.time >= 0;
    latency_[r.target].add(sentUs, replied ? std::int64_t{r.time} * 1000 : -1);
    outages_.add(r.target, sentUs, replied);
  }
  outages_.closeAll();
  changed_ = true;
  Q_EMIT reset();
}

void RunMonitor::resultAdded(std::int64_t, const ResultRecord& record, const EchoDetail& echo) {
  if (record.target >= latency_.size()) return;
  const bool replied = record.time >= 0;
  latency_[record.target].add(echo.sentUtcUs, replied ? std::int64_t{echo.roundTripUs} : -1);
  changed_ = true;
  switch (outages_.add(record.target, echo.sentUtcUs, replied)) {
    case OutageTracker::Change::Began:
      Q_EMIT outageBegan(outages_.last());
      break;
    case OutageTracker::Change::Ended:
      Q_EMIT outageEnded(outages_.last());
      break;
    case OutageTracker::Change::None:
      break;
  }
  if (echo.sentUtcUs >= nextFiguresUs_) {
    nextFiguresUs_ = echo.sentUtcUs + kFiguresDueUs;
    Q_EMIT figuresDue();
  }
}

void RunMonitor::runEnded(const RunData&, RunEnd) {
  // The outages under way end at their targets' last echoes.
  std::vector<std::size_t> open;
  for (std::uint32_t t = 0; t < latency_.size(); ++t)
    if (const Outage* o = outages_.current(t)) open.push_back(static_cast<std::size_t>(o - outages_.outages().data()));
  outages_.closeAll();
  live_ = false;
  changed_ = true;
  for (std::size_t k : open) Q_EMIT outageEnded(outages_.outages()[k]);
  Q_EMIT ended();
}

void RunMonitor::adopt(MonitorFigures figures) {
  if (live_ || figures.latency.size() != latency_.size()) return;
  outages_ = std::move(figures.outages);
  latency_ = std::move(figures.latency);
  changed_ = true;
  Q_EMIT reset();
}

MonitorSettings ReadMonitorSettings() {
  MonitorSettings s;
  const QSettings settings = UserSettings();
  bool ok = false;
  const int after = settings.value(QStringLiteral("monitor/outage_after")).toInt(&ok);
  if (ok && after >= OutageTracker::kMinThreshold && after <= OutageTracker::kMaxThreshold) s.outageAfter = after;
  const int minutes = settings.value(QStringLiteral("monitor/window_minutes")).toInt(&ok);
  if (ok && minutes >= 1 && minutes <= 1440) s.windowMinutes = minutes;
  return s;
}

Result<MonitorFigures> FiguresOfArchivedRun(RunArchive& archive, std::int64_t run, const MonitorSettings& settings) {
  auto targets = archive.targetsOf(run);
  if (!targets) return targets.error();
  MonitorFigures f{OutageTracker(settings.outageAfter), {}};
  f.latency.assign(targets.value().size(), TargetLatency(settings.windowUs()));
  for (std::uint32_t t = 0; t < targets.value().size(); ++t) {
    auto echoes = archive.echoesOf(run, t, std::numeric_limits<std::int64_t>::min(),
                                   std::numeric_limits<std::int64_t>::max());
    if (!echoes) return echoes.error();
    for (const ArchivedEcho& e : echoes.value()) {
      f.latency[t].add(e.sentUtcUs, e.roundTripUs);
      f.outages.add(t, e.sentUtcUs, e.roundTripUs >= 0);
    }
  }
  f.outages.closeAll();
  return f;
}

const TargetLatency* RunMonitor::latencyOf(std::uint32_t target) const {
  return target < latency_.size() ? &latency_[target] : nullptr;
}

const std::string& RunMonitor::addressOf(std::uint32_t target) const {
  static const std::string kNone;
  return target < addresses_.size() ? addresses_[target] : kNone;
}

std::string RunMonitor::nameOf(std::uint32_t target) const {
  if (target < labels_.size() && !labels_[target].empty()) return labels_[target];
  return addressOf(target);
}

std::string OutageTimeText(std::int64_t utcUs) {
  if (utcUs < 0) return {};
  return QDateTime::fromMSecsSinceEpoch(utcUs / 1000).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toStdString();
}

std::string OutageLengthText(const Outage& outage) {
  if (outage.ongoing()) return {};
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", static_cast<double>(outage.endUtcUs - outage.startUtcUs) / 1e6);
  return text;
}

std::vector<std::string> FormatOutageLines(const std::vector<Outage>& outages, int threshold,
                                           const std::vector<std::string>& names) {
  std::vector<std::string> lines;
  if (outages.empty()) return lines;
  lines.push_back("Outages (" + std::to_string(threshold) + " or more echoes lost in a row):");
  for (const Outage& o : outages) {
    const std::string name = o.target < names.size() ? names[o.target] : std::to_string(o.target);
    lines.push_back("  " + name + "  " + OutageTimeText(o.startUtcUs) + " - " +
                    (o.ongoing() ? std::string("(going on)") : OutageTimeText(o.endUtcUs) + "  " + OutageLengthText(o) + " s") +
                    "  " + std::to_string(o.lostEchoes) + " lost");
  }
  return lines;
}

}  // namespace sondrel
