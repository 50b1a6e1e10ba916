#pragma once
// The alert log as a table: one row per alert of the window's runs, newest
// last (time, rule, target, what happened, the notification, the command's
// exit status), read from the alert center as alerts come and end.

#include <QAbstractTableModel>
#include <vector>

#include "alerts/AlertCenter.h"

namespace sondrel {

class AlertLogModel final : public QAbstractTableModel {
  Q_OBJECT
 public:
  // The text last, where the table has room to stretch.
  enum Column { Time, Rule, Target, Event, Desktop, Command, Text, kColumns };

  explicit AlertLogModel(QObject* parent = nullptr);

  void add(const AlertRecord& record);
  void update(const AlertRecord& record);
  const std::vector<AlertRecord>& records() const { return records_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<AlertRecord> records_;
};

}  // namespace sondrel
