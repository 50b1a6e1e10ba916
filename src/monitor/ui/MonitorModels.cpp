#include "monitor/ui/MonitorModels.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <algorithm>
#include <cmath>

#include "core/common/CsvField.h"
#include "monitor/RunMonitor.h"

namespace sondrel {
namespace {

QString TimeOfDay(std::int64_t utcUs) {
  return QDateTime::fromMSecsSinceEpoch(utcUs / 1000).toString(QStringLiteral("HH:mm:ss"));
}

QString Seconds(std::int64_t us) { return QString::number(static_cast<double>(us) / 1e6, 'f', 3) + QStringLiteral(" s"); }

QString Percent(double p) { return QString::number(p, 'f', 2) + QStringLiteral(" %"); }

QVariant OptionalMs(const std::optional<std::int64_t>& us, bool forSort) {
  if (!us) return forSort ? QVariant(-1.0) : QVariant(QString());
  return forSort ? QVariant(static_cast<double>(*us)) : QVariant(MillisecondsText(static_cast<double>(*us)));
}

QVariant OptionalMs(const std::optional<double>& us, bool forSort) {
  if (!us) return forSort ? QVariant(-1.0) : QVariant(QString());
  return forSort ? QVariant(*us) : QVariant(MillisecondsText(*us));
}

}  // namespace

QString MillisecondsText(double us) { return QString::number(us / 1000.0, 'f', 3); }

TargetsModel::TargetsModel(const RunMonitor& monitor, QObject* parent)
    : QAbstractTableModel(parent), monitor_(monitor) {}

void TargetsModel::refresh(std::int64_t nowUtcUs) {
  nowUs_ = nowUtcUs;
  const std::size_t n = monitor_.targetCount();
  std::vector<Row> rows(n);
  const OutageTracker& tracker = monitor_.outages();
  for (const Outage& o : tracker.outages()) {
    if (o.target >= n) continue;
    Row& r = rows[o.target];
    ++r.outages;
    r.downUs += o.lengthUs(nowUtcUs);
    if (o.ongoing()) r.outageNowUs = o.lengthUs(nowUtcUs);
    r.downSinceUs = o.startUtcUs;  // the latest
  }
  for (std::uint32_t t = 0; t < n; ++t) {
    Row& r = rows[t];
    const TargetLatency& latency = *monitor_.latencyOf(t);
    const LatencySummary run = latency.run();
    const LatencySummary recent = latency.window();
    windowMinutes_ = latency.windowUs() / 60'000'000;
    // Down while an outage goes on, and at the end of a run that ended in one.
    const bool down = tracker.current(t) || (!monitor_.live() && r.outages > 0 &&
                                             tracker.lostInARow(t) >= tracker.threshold());
    if (run.sent == 0)
      r.health = Health::Waiting;
    else if (down)
      r.health = Health::Down;
    else if (recent.lossPercent() >= kLossyPercent)
      r.health = Health::Lossy;
    else if (recent.medianUs && run.medianUs && *recent.medianUs >= 1000 && *recent.medianUs >= 2 * *run.medianUs)
      r.health = Health::Slow;
    else
      r.health = Health::Up;
  }
  if (rows.size() != rows_.size()) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
  } else {
    rows_ = std::move(rows);
    if (!rows_.empty()) Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, kColumns - 1));
  }
}

int TargetsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}
int TargetsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant TargetsModel::cell(int row, int column, bool forSort) const {
  const auto t = static_cast<std::uint32_t>(row);
  const Row& r = rows_[static_cast<std::size_t>(row)];
  const TargetLatency& latency = *monitor_.latencyOf(t);
  const LatencySummary run = latency.run();
  switch (column) {
    case State:
      if (forSort) return static_cast<int>(r.health);
      switch (r.health) {
        case Health::Waiting:
          return QStringLiteral("waiting");
        case Health::Up:
          return QStringLiteral("\u2714 up");
        case Health::Down:
          return QStringLiteral("\u2716 down since %1").arg(TimeOfDay(r.downSinceUs));
        case Health::Lossy:
          return QStringLiteral("\u26A0 lossy");
        case Health::Slow:
          return QStringLiteral("\u25F7 slow");
      }
      return {};
    case Label:
      return QString::fromStdString(monitor_.nameOf(t));
    case Address:
      return QString::fromStdString(monitor_.addressOf(t));
    case Last:
      return OptionalMs(run.lastUs, forSort);
    case Min:
      return OptionalMs(run.minUs, forSort);
    case Median:
      return OptionalMs(run.medianUs, forSort);
    case Mean:
      return OptionalMs(run.meanUs, forSort);
    case P95:
      return OptionalMs(run.p95Us, forSort);
    case Max:
      return OptionalMs(run.maxUs, forSort);
    case Jitter:
      return OptionalMs(run.jitterUs, forSort);
    case Loss:
      return forSort ? QVariant(run.lossPercent()) : QVariant(Percent(run.lossPercent()));
    case RecentLoss: {
      const double p = latency.window().lossPercent();
      return forSort ? QVariant(p) : QVariant(Percent(p));
    }
    case Sent:
      return QVariant::fromValue<qlonglong>(run.sent);
    case Received:
      return QVariant::fromValue<qlonglong>(run.received);
    case Outages:
      return QVariant::fromValue<qlonglong>(r.outages);
    case TimeDown:
      return forSort ? QVariant::fromValue<qlonglong>(r.downUs) : QVariant(r.outages ? Seconds(r.downUs) : QString());
    case OutageNow:
      if (forSort) return QVariant::fromValue<qlonglong>(r.outageNowUs);
      return r.outageNowUs >= 0 ? Seconds(r.outageNowUs) : QString();
    default:
      return {};
  }
}

QVariant TargetsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const Row& r = rows_[static_cast<std::size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
      return cell(index.row(), index.column(), false);
    case kSortRole:
      return cell(index.row(), index.column(), true);
    case Qt::TextAlignmentRole:
      return index.column() >= Last ? QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter)
                                    : QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::BackgroundRole:
      if (index.column() != State) return {};
      switch (r.health) {
        case Health::Down:
          return QBrush(QColor(0xf4, 0xc7, 0xc3));
        case Health::Lossy:
          return QBrush(QColor(0xfc, 0xe8, 0xb2));
        case Health::Slow:
          return QBrush(QColor(0xd0, 0xe0, 0xf8));
        default:
          return {};
      }
    default:
      return {};
  }
}

QVariant TargetsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case State: return QStringLiteral("State");
    case Label: return QStringLiteral("Target");
    case Address: return QStringLiteral("Address");
    case Last: return QStringLiteral("Last ms");
    case Min: return QStringLiteral("Min ms");
    case Median: return QStringLiteral("Median ms");
    case Mean: return QStringLiteral("Mean ms");
    case P95: return QStringLiteral("95% ms");
    case Max: return QStringLiteral("Max ms");
    case Jitter: return QStringLiteral("Jitter ms");
    case Loss: return QStringLiteral("Loss");
    case RecentLoss: return QStringLiteral("Loss %1 min").arg(windowMinutes_);
    case Sent: return QStringLiteral("Sent");
    case Received: return QStringLiteral("Received");
    case Outages: return QStringLiteral("Outages");
    case TimeDown: return QStringLiteral("Time down");
    case OutageNow: return QStringLiteral("Outage now");
    default: return {};
  }
}

std::string TargetsModel::detailsCsv(const PeriodsOf& periodsOf, std::int64_t runFromUs, std::int64_t runToUs) const {
  auto ms = [](const auto& us) { return us ? MillisecondsText(static_cast<double>(*us)).toStdString() : std::string(); };
  auto when = [](std::int64_t utcUs) {
    return utcUs < 0 ? std::string()
                     : QDateTime::fromMSecsSinceEpoch(utcUs / 1000).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
  };
  auto figures = [&](const LatencySummary& f, std::int64_t outages, std::int64_t downUs) {
    return std::to_string(f.sent) + "," + std::to_string(f.received) + "," +
           QString::number(f.lossPercent(), 'f', 2).toStdString() + "," + ms(f.lastUs) + "," + ms(f.minUs) + "," +
           ms(f.medianUs) + "," + ms(f.meanUs) + "," + ms(f.p95Us) + "," + ms(f.maxUs) + "," + ms(f.jitterUs) + "," +
           MillisecondsText(f.smoothedJitterUs).toStdString() + "," + std::to_string(outages) + "," +
           QString::number(static_cast<double>(downUs) / 1e6, 'f', 3).toStdString() + "\r\n";
  };
  std::string out =
      "target,address,period,from,to,sent,received,loss %,last ms,min ms,median ms,mean ms,95% ms,max ms,jitter ms,"
      "smoothed jitter ms,outages,time down s\r\n";
  const std::vector<Outage>& outages = monitor_.outages().outages();
  for (std::size_t t = 0; t < rows_.size(); ++t) {
    const auto target = static_cast<std::uint32_t>(t);
    const std::string who = CsvField(monitor_.nameOf(target)) + "," + CsvField(monitor_.addressOf(target)) + ",";
    out += who + "run," + when(runFromUs) + "," + when(runToUs) + "," +
           figures(monitor_.latencyOf(target)->run(), rows_[t].outages, rows_[t].downUs);
    if (!periodsOf) continue;
    for (const PeriodLatency::Period& p : periodsOf(target)) {
      const DownTime down = DownTimeWithin(outages, target, p.fromUs, p.toUs, nowUs_);
      out += who + std::to_string(p.index + 1) + "," + when(p.fromUs) + "," + when(p.toUs) + "," +
             figures(p.figures.run(), down.outages, down.downUs);
    }
  }
  return out;
}

OutageLogModel::OutageLogModel(const RunMonitor& monitor, QObject* parent)
    : QAbstractTableModel(parent), monitor_(monitor) {}

void OutageLogModel::refresh(std::int64_t nowUtcUs) {
  nowUs_ = nowUtcUs;
  const std::vector<Outage>& all = monitor_.outages().outages();
  std::vector<std::size_t> order(all.size());
  for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return all[a].startUtcUs < all[b].startUtcUs; });
  if (order != order_) {
    beginResetModel();
    order_ = std::move(order);
    endResetModel();
  } else if (!order_.empty()) {
    Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, kColumns - 1));
  }
}

int OutageLogModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(order_.size());
}
int OutageLogModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant OutageLogModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole) return {};
  const Outage& o = monitor_.outages().outages()[order_[static_cast<std::size_t>(index.row())]];
  switch (index.column()) {
    case Target:
      return QString::fromStdString(monitor_.nameOf(o.target));
    case Address:
      return QString::fromStdString(monitor_.addressOf(o.target));
    case Start:
      return QString::fromStdString(OutageTimeText(o.startUtcUs));
    case End:
      return o.ongoing() ? QStringLiteral("(going on)") : QString::fromStdString(OutageTimeText(o.endUtcUs));
    case Length:
      return Seconds(o.lengthUs(nowUs_));
    case Lost:
      return QVariant::fromValue<qlonglong>(o.lostEchoes);
    default:
      return {};
  }
}

QVariant OutageLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kTitles[kColumns] = {"Target", "Address", "Start", "End", "Length", "Lost echoes"};
  return section >= 0 && section < kColumns ? QString::fromLatin1(kTitles[section]) : QVariant();
}

std::string OutageLogModel::csv() const {
  std::string out = "target,address,start,end,length s,lost\r\n";
  for (std::size_t k : order_) {
    const Outage& o = monitor_.outages().outages()[k];
    out += CsvField(monitor_.nameOf(o.target)) + "," + CsvField(monitor_.addressOf(o.target)) + "," +
           OutageTimeText(o.startUtcUs) + "," + OutageTimeText(o.endUtcUs) + "," + OutageLengthText(o) + "," +
           std::to_string(o.lostEchoes) + "\r\n";
  }
  return out;
}

}  // namespace sondrel
