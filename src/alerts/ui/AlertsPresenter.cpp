#include "alerts/ui/AlertsPresenter.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

#include "alerts/ui/AlertLogModel.h"
#include "alerts/ui/AlertRulesDialog.h"
#include "monitor/RunMonitor.h"
#include "monitor/ui/MonitorModels.h"
#include "monitor/ui/MonitorPresenter.h"
#include "monitor/ui/MonitorWindow.h"

namespace sondrel {
namespace {

constexpr int kMenuAlerts = 8;

// A round light in the state's colour with its sign, so that colour is never
// all it says.
QIcon StateIcon(AlertsPresenter::Overall state) {
  QPixmap p(32, 32);
  p.fill(Qt::transparent);
  QPainter painter(&p);
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor fill = state == AlertsPresenter::Overall::SomeDown    ? QColor(0xcc, 0x22, 0x22)
                      : state == AlertsPresenter::Overall::SomeLossy ? QColor(0xe6, 0x9f, 0x00)
                                                                      : QColor(0x00, 0x9e, 0x73);
  painter.setBrush(fill);
  painter.setPen(QPen(QColor(0x30, 0x30, 0x30), 1.5));
  painter.drawEllipse(QRectF(2, 2, 28, 28));
  painter.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  if (state == AlertsPresenter::Overall::SomeDown) {
    painter.drawLine(QPointF(11, 11), QPointF(21, 21));
    painter.drawLine(QPointF(21, 11), QPointF(11, 21));
  } else if (state == AlertsPresenter::Overall::SomeLossy) {
    painter.drawLine(QPointF(16, 9), QPointF(16, 18));
    painter.drawPoint(QPointF(16, 23));
  } else {
    painter.drawPolyline(QPolygonF({QPointF(9, 17), QPointF(14, 22), QPointF(23, 11)}));
  }
  return QIcon(p);
}

QString StateText(AlertsPresenter::Overall state) {
  switch (state) {
    case AlertsPresenter::Overall::SomeDown: return QStringLiteral("Sondrel: some targets are down");
    case AlertsPresenter::Overall::SomeLossy: return QStringLiteral("Sondrel: some targets lose echoes");
    case AlertsPresenter::Overall::AllUp: break;
  }
  return QStringLiteral("Sondrel: all targets up");
}

}  // namespace

AlertsPresenter::AlertsPresenter(AlertCenter& center, RunMonitor& monitor, MonitorPresenter& monitorWindow,
                                 std::shared_ptr<IPrompter> prompter, QWidget* mainWindow, QObject* parent)
    : QObject(parent),
      center_(center),
      monitor_(monitor),
      monitorWindow_(monitorWindow),
      prompter_(std::move(prompter)),
      mainWindow_(mainWindow),
      log_(new AlertLogModel(this)) {
  connect(&center_, &AlertCenter::alerted, log_, &AlertLogModel::add);
  connect(&center_, &AlertCenter::updated, log_, &AlertLogModel::update);
  connect(&center_, &AlertCenter::alerted, this, &AlertsPresenter::refreshTray);
  connect(&center_, &AlertCenter::notShown, this, &AlertsPresenter::notShown);
  connect(&center_, &AlertCenter::showTarget, &monitorWindow_, &MonitorPresenter::showTarget);
  monitorWindow_.setAlertLog(log_);
  timer_.setInterval(1000);
  connect(&timer_, &QTimer::timeout, this, &AlertsPresenter::refreshTray);
}

AlertsPresenter::~AlertsPresenter() {
  delete tray_;
  delete rules_.data();
}

void AlertsPresenter::showRules() {
  if (!rules_) {
    rules_ = new AlertRulesDialog(center_.settings(), prompter_.get(), mainWindow_);
    rules_->setAttribute(Qt::WA_DeleteOnClose);
    connect(rules_, &QDialog::accepted, this, [this] {
      Result<AlertSettings> s = rules_->settings();
      if (!s) return;
      // The one-off parts are not the user's settings: kept as they were.
      AlertSettings kept = std::move(s.value());
      kept.everyAlertCommand = center_.settings().everyAlertCommand;
      kept.notifyEvery = center_.settings().notifyEvery;
      kept.offerShow = center_.settings().offerShow;
      WriteAlertSettings(kept);
      center_.setSettings(std::move(kept));
    });
  }
  rules_->setWindowModality(Qt::WindowModal);
  rules_->show();
  rules_->raise();
}

AlertsPresenter::Overall AlertsPresenter::OverallOf(const RunMonitor& monitor) {
  Overall state = Overall::AllUp;
  for (std::uint32_t t = 0; t < monitor.targetCount(); ++t) {
    if (monitor.outages().current(t)) return Overall::SomeDown;
    const TargetLatency* l = monitor.latencyOf(t);
    if (l && l->sent() > 0 && l->windowLossPercent() >= TargetsModel::kLossyPercent) state = Overall::SomeLossy;
  }
  return state;
}

void AlertsPresenter::runStarted() {
  overall_ = Overall::AllUp;
  if (QSystemTrayIcon::isSystemTrayAvailable() && !tray_) {
    tray_ = new QSystemTrayIcon(this);
    tray_->setObjectName(QStringLiteral("AlertTray"));
    menu_ = std::make_unique<QMenu>();
    tray_->setContextMenu(menu_.get());
    // A click shows the monitor; the other button opens the menu only.
    connect(tray_, &QSystemTrayIcon::activated, &monitorWindow_, [this](QSystemTrayIcon::ActivationReason why) {
      if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick) monitorWindow_.showWindow();
    });
    connect(tray_, &QSystemTrayIcon::messageClicked, &monitorWindow_, &MonitorPresenter::showWindow);
  }
  // The icon is set before the tray shows it.
  refreshTray();
  if (tray_) {
    tray_->show();
    timer_.start();  // the state is read each second only while a tray shows it
  }
}

void AlertsPresenter::runEnded() {
  timer_.stop();
  refreshTray();
  if (tray_) tray_->hide();
}

void AlertsPresenter::refreshTray() {
  overall_ = OverallOf(monitor_);
  if (!tray_) return;
  tray_->setIcon(StateIcon(overall_));
  tray_->setToolTip(StateText(overall_));
  menu_->clear();
  QAction* show = menu_->addAction(QStringLiteral("Show the monitor"));
  connect(show, &QAction::triggered, &monitorWindow_, &MonitorPresenter::showWindow);
  const std::vector<AlertRecord>& records = log_->records();
  if (!records.empty()) menu_->addSeparator();
  const std::size_t from = records.size() > kMenuAlerts ? records.size() - kMenuAlerts : 0;
  for (std::size_t k = records.size(); k-- > from;) {
    QAction* a = menu_->addAction(records[k].summary);
    const std::uint32_t target = records[k].alert.target;
    connect(a, &QAction::triggered, &monitorWindow_, [this, target] { monitorWindow_.showTarget(target); });
  }
}

void AlertsPresenter::notShown(const AlertRecord& record) {
  if (tray_ && tray_->isVisible()) {
    tray_->showMessage(record.summary, record.body,
                       IsRaise(record.alert.event) ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
    return;
  }
  monitorWindow_.tellAlert(record.summary + QStringLiteral(" \u2014 ") + record.body);
}

}  // namespace sondrel
