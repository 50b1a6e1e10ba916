#include "report/ui/ReportChart.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>

namespace sondrel {

namespace {

QString RowLabel(const Report& report, const ReportPeriod& p) {
  if (report.grouping == ReportGrouping::BufferSize) return QString::number(p.bufferSize);
  return QString::fromStdString(p.from.substr(0, 11));  // "mm/dd hh:mm"
}

}  // namespace

ReportChart::ReportChart(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("ReportChart"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  chooser_ = new QComboBox(this);
  chooser_->setObjectName(QStringLiteral("ComboChartTarget"));
  chooser_->setToolTip(QStringLiteral("Target shown in the chart"));
  layout->addWidget(chooser_);
  chart_ = new QChart();
  chart_->legend()->setAlignment(Qt::AlignBottom);
  view_ = new QChartView(chart_, this);
  view_->setObjectName(QStringLiteral("ReportChartView"));
  view_->setRenderHint(QPainter::Antialiasing);
  layout->addWidget(view_, 1);
  connect(chooser_, &QComboBox::activated, this, [this](int k) { showTarget(k, 0); });
}

void ReportChart::setReport(const Report* report) {
  report_ = report;
  target_ = -1;
  const QSignalBlocker block(chooser_);
  chooser_->clear();
  if (report_)
    for (const ReportTarget& t : report_->targets)
      chooser_->addItem(QString::fromStdString(ShortLabel(t.label.empty() ? t.address : t.label)));
  if (report_ && !report_->targets.empty())
    showTarget(0, 0);
  else
    redraw();
}

int ReportChart::currentTarget() const { return target_; }

void ReportChart::showTarget(int k, int period) {
  if (!report_ || k < 0 || k >= static_cast<int>(report_->targets.size())) return;
  const int count = static_cast<int>(report_->targets[static_cast<std::size_t>(k)].periods.size());
  int first = first_;
  // Keep the window while the chosen period is in it; else centre on it.
  if (k != target_ || period < first_ || period >= first_ + kMaxPoints)
    first = std::clamp(period - kMaxPoints / 2, 0, std::max(0, count - kMaxPoints));
  if (k == target_ && first == first_) return;
  target_ = k;
  first_ = first;
  {
    const QSignalBlocker block(chooser_);
    chooser_->setCurrentIndex(k);
  }
  redraw();
}

void ReportChart::redraw() {
  chart_->removeAllSeries();
  for (QAbstractAxis* axis : chart_->axes()) {
    chart_->removeAxis(axis);
    delete axis;
  }
  line_ = nullptr;
  timeLines_.clear();
  bars_ = nullptr;
  if (!report_ || target_ < 0) {
    chart_->setTitle({});
    return;
  }
  const ReportTarget& t = report_->targets[static_cast<std::size_t>(target_)];
  chart_->setTitle(QString::fromStdString(t.label.empty() ? t.address : t.label));
  const int last = std::min<int>(static_cast<int>(t.periods.size()), first_ + kMaxPoints);

  auto* bars = new QBarSeries();
  bars_ = new QBarSet(QStringLiteral("Loss Rate (%)"));
  bars_->setColor(QColor(220, 60, 60));
  QStringList categories;
  double maxTime = 1;
  for (int i = first_; i < last; ++i) {
    const ReportPeriod& p = t.periods[static_cast<std::size_t>(i)];
    categories << RowLabel(*report_, p);
    *bars_ << LossRateValue(p.lossRate);
    // A period without replies has no time: the line breaks there (its bar
    // shows 100 %) rather than dropping to 0, which would read as very fast.
    if (p.avgTime < 0) {
      line_ = nullptr;
      continue;
    }
    if (!line_) {
      line_ = new QLineSeries();
      line_->setName(QStringLiteral("Avg Time (ms)"));
      line_->setPointsVisible(true);
      timeLines_.push_back(line_);
    }
    line_->append(i - first_, p.avgTime);
    maxTime = std::max<double>(maxTime, p.avgTime);
  }
  bars->append(bars_);
  chart_->addSeries(bars);
  for (QLineSeries* piece : timeLines_) {
    chart_->addSeries(piece);
    // One legend entry for all pieces of the line, in the first piece's colour.
    if (piece != timeLines_.front()) {
      piece->setColor(timeLines_.front()->color());
      for (QLegendMarker* marker : chart_->legend()->markers(piece)) marker->setVisible(false);
    }
  }
  line_ = timeLines_.empty() ? nullptr : timeLines_.front();

  auto* x = new QBarCategoryAxis();
  x->append(categories);
  x->setLabelsAngle(-90);
  chart_->addAxis(x, Qt::AlignBottom);
  bars->attachAxis(x);
  for (QLineSeries* piece : timeLines_) piece->attachAxis(x);
  auto* rate = new QValueAxis();
  rate->setRange(0, 100);
  rate->setTitleText(QStringLiteral("Loss %"));
  chart_->addAxis(rate, Qt::AlignRight);
  bars->attachAxis(rate);
  auto* time = new QValueAxis();
  time->setRange(0, maxTime * 1.1);
  time->setTitleText(QStringLiteral("ms"));
  chart_->addAxis(time, Qt::AlignLeft);
  for (QLineSeries* piece : timeLines_) piece->attachAxis(time);
}

}  // namespace sondrel
