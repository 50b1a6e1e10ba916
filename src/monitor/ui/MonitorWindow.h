#pragma once
// The monitor window: every target of the followed run at a glance (state
// and figures, sortable and filtered), and the outage log. Its wiring is in
// MonitorPresenter.

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QSplitter;
class QTabWidget;
class QTableView;

namespace sondrel {

class LatencyChart;

class MonitorWindow final : public QWidget {
  Q_OBJECT
 public:
  explicit MonitorWindow(QWidget* parent = nullptr);

  QLineEdit* filterText() const { return filter_; }
  QTableView* targets() const { return targets_; }
  QTableView* outages() const { return outages_; }
  QTableView* alerts() const { return alerts_; }
  QTabWidget* logTabs() const { return logTabs_; }
  // The latest alert the desktop could not show, when there is no tray.
  QLabel* alertLine() const { return alertLine_; }
  QPushButton* saveOutagesButton() const { return saveOutages_; }
  QPushButton* saveDetailsButton() const { return saveDetails_; }
  QLabel* runLabel() const { return run_; }
  QSplitter* splitter() const { return splitter_; }
  LatencyChart* chart() const { return chart_; }
  // Whole run, 5 minutes, 1 hour, 24 hours.
  QComboBox* span() const { return span_; }
  QCheckBox* logScale() const { return log_; }
  QCheckBox* follow() const { return follow_; }
  QPushButton* saveChartButton() const { return saveChart_; }
  // The window opens by itself with each run once this is set.
  QCheckBox* openWithRuns() const { return openWithRuns_; }

 Q_SIGNALS:
  void closing();

 protected:
  void hideEvent(QHideEvent* event) override;

 private:
  QLineEdit* filter_;
  QTableView* targets_;
  QTableView* outages_;
  QTableView* alerts_;
  QTabWidget* logTabs_;
  QLabel* alertLine_;
  QPushButton* saveOutages_;
  QPushButton* saveDetails_;
  QLabel* run_;
  QSplitter* splitter_;
  LatencyChart* chart_;
  QComboBox* span_;
  QCheckBox* log_;
  QCheckBox* follow_;
  QCheckBox* openWithRuns_;
  QPushButton* saveChart_;
};

}  // namespace sondrel
