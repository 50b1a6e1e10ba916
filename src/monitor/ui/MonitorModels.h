#pragma once
// The monitor window's tables: one row per target of the followed run with
// its state and figures, and the outage log. Both read the RunMonitor when
// told to refresh, at most a few times a second, never per result.

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/monitor/LatencyFigures.h"

namespace sondrel {

class RunMonitor;
struct Outage;

// A number to sort by, under every column that shows one.
inline constexpr int kSortRole = Qt::UserRole + 1;

// Milliseconds with three decimals from microseconds: "0.013".
QString MillisecondsText(double us);

class TargetsModel final : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column {
    State, Label, Address, Last, Min, Median, Mean, P95, Max, Jitter, Loss, RecentLoss, Sent, Received,
    Outages, TimeDown, OutageNow, kColumns
  };
  // A window's loss at or above this makes a target "lossy".
  static constexpr double kLossyPercent = 5.0;

  explicit TargetsModel(const RunMonitor& monitor, QObject* parent = nullptr);
  // Reads the monitor again; `nowUtcUs` measures outages under way.
  void refresh(std::int64_t nowUtcUs);
  // Every target's figures as CSV (times in ms with three decimals, CR LF):
  // a row for its whole run ("run", from `runFromUs` to `runToUs`, blank
  // where -1), then one per period that `periodsOf` gives for it, numbered
  // from 1 (asked target by target, so a long run's periods are never all
  // held at once).
  using PeriodsOf = std::function<std::vector<PeriodLatency::Period>(std::uint32_t target)>;
  std::string detailsCsv(const PeriodsOf& periodsOf = {}, std::int64_t runFromUs = -1,
                         std::int64_t runToUs = -1) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  enum class Health { Waiting, Up, Down, Lossy, Slow };
  struct Row {
    Health health = Health::Waiting;
    std::int64_t downSinceUs = 0;
    std::int64_t outages = 0, downUs = 0, outageNowUs = -1;
  };
  QVariant cell(int row, int column, bool forSort) const;

  const RunMonitor& monitor_;
  std::vector<Row> rows_;
  std::int64_t windowMinutes_ = 5;
  std::int64_t nowUs_ = 0;  // of the last refresh
};

class OutageLogModel final : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { Target, Address, Start, End, Length, Lost, kColumns };
  explicit OutageLogModel(const RunMonitor& monitor, QObject* parent = nullptr);
  void refresh(std::int64_t nowUtcUs);
  // The log as CSV, CR LF line ends.
  std::string csv() const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  const RunMonitor& monitor_;
  std::vector<std::size_t> order_;  // the outages by start
  std::int64_t nowUs_ = 0;
};

}  // namespace sondrel
