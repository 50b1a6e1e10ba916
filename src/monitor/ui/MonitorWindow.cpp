#include "monitor/ui/MonitorWindow.h"

#include "monitor/ui/LatencyChart.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QHeaderView>
#include <QLabel>
#include <QTabWidget>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

namespace sondrel {
namespace {

QTableView* Table(QWidget* parent, const char* name) {
  auto* t = new QTableView(parent);
  t->setObjectName(QString::fromLatin1(name));
  t->setSelectionBehavior(QAbstractItemView::SelectRows);
  t->setEditTriggers(QAbstractItemView::NoEditTriggers);
  t->setAlternatingRowColors(true);
  t->setWordWrap(false);
  t->verticalHeader()->hide();
  t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
  return t;
}

}  // namespace

MonitorWindow::MonitorWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("MonitorWindow"));
  setWindowTitle(QStringLiteral("Monitor"));
  // As large as it was made for, within the screen (a small screen, or a
  // large scale factor).
  QSize wanted(1180, 760);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    wanted = wanted.boundedTo(screen->availableGeometry().size() * 9 / 10);
  resize(wanted);

  filter_ = new QLineEdit(this);
  filter_->setObjectName(QStringLiteral("MonitorFilter"));
  filter_->setPlaceholderText(QStringLiteral("Target label or address"));
  filter_->setClearButtonEnabled(true);
  run_ = new QLabel(this);
  run_->setObjectName(QStringLiteral("MonitorRun"));
  auto* top = new QHBoxLayout;
  auto* filterLabel = new QLabel(QStringLiteral("F&ilter:"), this);
  filterLabel->setBuddy(filter_);
  top->addWidget(filterLabel);
  top->addWidget(filter_, 1);
  top->addSpacing(12);
  top->addWidget(run_);
  openWithRuns_ = new QCheckBox(QStringLiteral("Open &with every run"), this);
  openWithRuns_->setObjectName(QStringLiteral("MonitorOpenWithRuns"));
  top->addWidget(openWithRuns_);
  saveDetails_ = new QPushButton(QStringLiteral("Save &details as CSV..."), this);
  saveDetails_->setObjectName(QStringLiteral("MonitorSaveDetails"));
  top->addWidget(saveDetails_);

  targets_ = Table(this, "MonitorTargets");
  targets_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  targets_->setSortingEnabled(true);

  auto* log = new QWidget(this);
  outages_ = Table(log, "MonitorOutages");
  outages_->setSelectionMode(QAbstractItemView::SingleSelection);
  saveOutages_ = new QPushButton(QStringLiteral("&Save outages as CSV..."), log);
  saveOutages_->setObjectName(QStringLiteral("MonitorSaveOutages"));
  alerts_ = Table(log, "MonitorAlerts");
  alerts_->setSelectionMode(QAbstractItemView::SingleSelection);
  alertLine_ = new QLabel(log);
  alertLine_->setObjectName(QStringLiteral("MonitorAlertLine"));
  alertLine_->setTextFormat(Qt::PlainText);
  logTabs_ = new QTabWidget(log);
  logTabs_->setObjectName(QStringLiteral("MonitorLogs"));
  logTabs_->setDocumentMode(true);
  logTabs_->addTab(outages_, QStringLiteral("Outages"));
  logTabs_->addTab(alerts_, QStringLiteral("Alerts"));
  auto* logTop = new QHBoxLayout;
  logTop->addWidget(alertLine_, 1);
  logTop->addWidget(saveOutages_);
  auto* logLayout = new QVBoxLayout(log);
  logLayout->setContentsMargins(0, 0, 0, 0);
  logLayout->addLayout(logTop);
  logLayout->addWidget(logTabs_, 1);

  auto* charted = new QWidget(this);
  chart_ = new LatencyChart(charted);
  span_ = new QComboBox(charted);
  span_->setObjectName(QStringLiteral("MonitorSpan"));
  span_->addItems({QStringLiteral("Whole run"), QStringLiteral("5 minutes"), QStringLiteral("1 hour"),
                   QStringLiteral("24 hours")});
  log_ = new QCheckBox(QStringLiteral("&Log scale"), charted);
  log_->setObjectName(QStringLiteral("MonitorLogScale"));
  follow_ = new QCheckBox(QStringLiteral("F&ollow the live end"), charted);
  follow_->setObjectName(QStringLiteral("MonitorFollow"));
  follow_->setChecked(true);
  saveChart_ = new QPushButton(QStringLiteral("Save &chart..."), charted);
  saveChart_->setObjectName(QStringLiteral("MonitorSaveChart"));
  auto* chartTop = new QHBoxLayout;
  auto* spanLabel = new QLabel(QStringLiteral("Chart the selected targets over"), charted);
  chartTop->addWidget(spanLabel);
  chartTop->addWidget(span_);
  chartTop->addWidget(log_);
  chartTop->addWidget(follow_);
  chartTop->addStretch(1);
  chartTop->addWidget(saveChart_);
  auto* chartLayout = new QVBoxLayout(charted);
  chartLayout->setContentsMargins(0, 0, 0, 0);
  chartLayout->addLayout(chartTop);
  chartLayout->addWidget(chart_, 1);

  splitter_ = new QSplitter(Qt::Vertical, this);
  splitter_->setObjectName(QStringLiteral("MonitorSplitter"));
  splitter_->addWidget(targets_);
  splitter_->addWidget(charted);
  splitter_->addWidget(log);
  splitter_->setStretchFactor(0, 2);
  splitter_->setStretchFactor(1, 3);
  splitter_->setStretchFactor(2, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(splitter_, 1);
}

void MonitorWindow::hideEvent(QHideEvent* event) {
  Q_EMIT closing();
  QWidget::hideEvent(event);
}

}  // namespace sondrel
