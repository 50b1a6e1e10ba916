#include "alerts/ui/AlertLogModel.h"

#include <QColor>
#include <QDateTime>
#include <algorithm>

namespace sondrel {

AlertLogModel::AlertLogModel(QObject* parent) : QAbstractTableModel(parent) {}

void AlertLogModel::add(const AlertRecord& record) {
  const int row = static_cast<int>(records_.size());
  beginInsertRows({}, row, row);
  records_.push_back(record);
  endInsertRows();
}

void AlertLogModel::update(const AlertRecord& record) {
  auto it = std::find_if(records_.begin(), records_.end(), [&](const AlertRecord& r) { return r.id == record.id; });
  if (it == records_.end()) return;
  *it = record;
  const int row = static_cast<int>(it - records_.begin());
  Q_EMIT dataChanged(index(row, 0), index(row, kColumns - 1));
}

int AlertLogModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(records_.size());
}

int AlertLogModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant AlertLogModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const AlertRecord& r = records_[static_cast<std::size_t>(index.row())];
  if (role == Qt::ForegroundRole && index.column() == Event)
    return IsRaise(r.alert.event) ? QColor(0xb0, 0x00, 0x00) : QColor(0x00, 0x70, 0x30);
  if (role == Qt::ToolTipRole && index.column() == Command && !r.output.isEmpty())
    return QString::fromLocal8Bit(r.output);
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case Time:
      return QDateTime::fromMSecsSinceEpoch(r.alert.atUtcUs / 1000).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case Rule: return r.rule;
    case Target: return r.target;
    case Event: {
      const QString name = QString::fromLatin1(EventName(r.alert.event).data(),
                                               static_cast<int>(EventName(r.alert.event).size()));
      return r.alert.folded > 0 ? QStringLiteral("%1 (+%2)").arg(name).arg(r.alert.folded) : name;
    }
    case Text: return r.summary;
    case Desktop: return r.notified ? QStringLiteral("shown") : QString();
    case Command:
      if (!r.exitStatus) return QString();
      if (*r.exitStatus < 0) return QStringLiteral("did not start");
      return r.timedOut ? QStringLiteral("stopped at its time-out (%1)").arg(*r.exitStatus)
                        : QStringLiteral("exit %1").arg(*r.exitStatus);
  }
  return {};
}

QVariant AlertLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kNames[kColumns] = {"Time", "Rule", "Target", "Event", "Desktop", "Command",
                                               "What happened"};
  return section >= 0 && section < kColumns ? QString::fromLatin1(kNames[section]) : QVariant();
}

}  // namespace sondrel
