#pragma once
// The archived runs as a table for a view: counted at once, read a page at a
// time as the view scrolls, sorted and filtered by the archive itself, so a
// list of thousands of runs opens as fast as one of ten.

#include <QAbstractTableModel>
#include <QString>
#include <vector>

#include "archive/RunArchive.h"

namespace sondrel {

class RunsModel final : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { Started, Ended, Duration, Targets, FirstTargets, Sent, Lost, LossRate, RanBy, EndedBy, Pinned, kColumns };
  static constexpr int kPage = 200;
  // The run's identifier, under Qt::UserRole of any column.
  static constexpr int kIdRole = Qt::UserRole;

  explicit RunsModel(QObject* parent = nullptr);

  // The archive read from (not owned; null: no runs). Reads it again.
  void setArchive(RunArchive* archive);
  void setFilter(const RunFilter& filter);
  const RunFilter& filter() const { return filter_; }
  // Reads the first page again (after a change, or a run that ended).
  void reload();
  // Runs that match the filter, read or not yet.
  std::int64_t total() const { return total_; }
  // Null past the rows read.
  const RunSummary* runAt(int row) const;
  // Why the last read failed; "" when it did not.
  const QString& problem() const { return problem_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;
  void sort(int column, Qt::SortOrder order) override;

 Q_SIGNALS:
  // A read failed; the text says why.
  void failed(const QString& text);

 private:
  void fail(const Error& error);

  RunArchive* archive_ = nullptr;
  RunFilter filter_;
  RunOrder order_;
  std::vector<RunSummary> rows_;
  std::int64_t total_ = 0;
  QString problem_;
};

}  // namespace sondrel
