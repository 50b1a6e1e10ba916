#pragma once
// The chart beside the report table: for one target, the average reply time
// as a line and the loss rate as bars over its periods (or buffer sizes). The
// line has a gap at each period without a reply.

#include <QWidget>
#include <vector>

#include "core/report/Report.h"

class QBarSet;
class QChart;
class QChartView;
class QComboBox;
class QLineSeries;

namespace sondrel {

class ReportChart final : public QWidget {
  Q_OBJECT
 public:
  // Periods shown at once; a longer target shows those around the chosen one.
  static constexpr int kMaxPoints = 240;

  explicit ReportChart(QWidget* parent = nullptr);

  // `report` must outlive the chart's use of it (null: empty chart).
  void setReport(const Report* report);
  // Shows target k, with period `period` inside the window shown.
  void showTarget(int k, int period = 0);
  int currentTarget() const;
  int firstShownPeriod() const { return first_; }

  QChartView* view() const { return view_; }
  // The first piece of the time line; timeLines() holds every piece.
  QLineSeries* timeLine() const { return line_; }
  const std::vector<QLineSeries*>& timeLines() const { return timeLines_; }
  QBarSet* lossBars() const { return bars_; }
  QComboBox* targetChooser() const { return chooser_; }

 private:
  void redraw();

  const Report* report_ = nullptr;
  int target_ = -1;
  int first_ = 0;
  QComboBox* chooser_ = nullptr;
  QChartView* view_ = nullptr;
  QChart* chart_ = nullptr;
  QLineSeries* line_ = nullptr;
  std::vector<QLineSeries*> timeLines_;
  QBarSet* bars_ = nullptr;
};

}  // namespace sondrel
