#include "monitor/ui/MonitorPresenter.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>

#include "core/ports/Clock.h"
#include "core/ports/FileService.h"
#include "monitor/RunMonitor.h"
#include "monitor/ui/MonitorModels.h"
#include "ports/Prompter.h"
#include "results/AskSaveFile.h"

namespace sondrel {
namespace {

QSettings UserSettings() {
  return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("sondrel"), QStringLiteral("sondrel"));
}

}  // namespace

MonitorPresenter::MonitorPresenter(RunMonitor& monitor, std::shared_ptr<IClock> clock,
                                   std::shared_ptr<IPrompter> prompter, FileService& files, QWidget* mainWindow,
                                   QObject* parent)
    : QObject(parent),
      monitor_(monitor),
      clock_(std::move(clock)),
      prompter_(std::move(prompter)),
      files_(files),
      mainWindow_(mainWindow),
      targets_(new TargetsModel(monitor, this)),
      outages_(new OutageLogModel(monitor, this)),
      sorted_(new QSortFilterProxyModel(this)) {
  sorted_->setSourceModel(targets_);
  sorted_->setSortRole(kSortRole);
  sorted_->setFilterCaseSensitivity(Qt::CaseInsensitive);
  sorted_->setFilterKeyColumn(-1);  // label or address
  timer_.setInterval(kRefreshMs);
  connect(&timer_, &QTimer::timeout, this, [this] {
    if (monitor_.takeChanged() || monitor_.live()) refresh();
  });
  // Another run followed: the tables at once, not a quarter second later.
  connect(&monitor_, &RunMonitor::reset, this, [this] {
    if (window_ && window_->isVisible()) refresh();
  });
}

MonitorPresenter::~MonitorPresenter() { delete window_.data(); }

void MonitorPresenter::makeWindow() {
  window_ = new MonitorWindow(mainWindow_);
  window_->targets()->setModel(sorted_);
  window_->targets()->sortByColumn(TargetsModel::Label, Qt::AscendingOrder);
  window_->outages()->setModel(outages_);
  window_->outages()->horizontalHeader()->setStretchLastSection(true);
  connect(window_->filterText(), &QLineEdit::textChanged, sorted_, &QSortFilterProxyModel::setFilterFixedString);
  connect(window_->saveOutagesButton(), &QPushButton::clicked, this, &MonitorPresenter::saveOutages);
  connect(window_, &MonitorWindow::closing, this, [this] {
    timer_.stop();
    keepLayout();
  });
  const QSettings settings = UserSettings();
  if (const QByteArray g = settings.value(QStringLiteral("monitor/geometry")).toByteArray(); !g.isEmpty())
    window_->restoreGeometry(g);
  if (const QByteArray s = settings.value(QStringLiteral("monitor/splitter")).toByteArray(); !s.isEmpty())
    window_->splitter()->restoreState(s);
  if (const QByteArray h = settings.value(QStringLiteral("monitor/columns")).toByteArray(); !h.isEmpty())
    window_->targets()->horizontalHeader()->restoreState(h);
}

void MonitorPresenter::keepLayout() {
  if (!window_) return;
  QSettings settings = UserSettings();
  settings.setValue(QStringLiteral("monitor/geometry"), window_->saveGeometry());
  settings.setValue(QStringLiteral("monitor/splitter"), window_->splitter()->saveState());
  settings.setValue(QStringLiteral("monitor/columns"), window_->targets()->horizontalHeader()->saveState());
}

void MonitorPresenter::showWindow() {
  if (!window_) makeWindow();
  refresh();
  window_->show();
  window_->raise();
  window_->activateWindow();
  timer_.start();
}

void MonitorPresenter::refresh() {
  const std::int64_t now = clock_ ? clock_->utcMicros() : 0;
  targets_->refresh(now);
  outages_->refresh(now);
  if (window_) {
    const int n = static_cast<int>(monitor_.targetCount());
    window_->runLabel()->setText(n == 0 ? QStringLiteral("No run yet")
                                        : QStringLiteral("%1 %2, %3").arg(n).arg(n == 1 ? QStringLiteral("target")
                                                                                       : QStringLiteral("targets"))
                                              .arg(monitor_.live() ? QStringLiteral("live")
                                                                   : QStringLiteral("ended")));
  }
}

void MonitorPresenter::saveOutages() {
  if (!prompter_) return;
  const QString path =
      AskSaveFile(*prompter_, {QStringLiteral("Save the outage log"), QStringLiteral("Outages"), QStringLiteral("csv"), {}});
  if (path.isEmpty()) return;
  if (auto written = files_.replaceFile(path.toStdString(), outages_->csv()); !written)
    prompter_->message(QStringLiteral("The outage log could not be written: ") + path + QStringLiteral("\r\n") +
                           QString::fromStdString(written.error().message),
                       QStringLiteral("Monitor"), IPrompter::Icon::Critical);
}

}  // namespace sondrel
