#pragma once
// The window's side of the alerts: the alert log, the tray icon (while a
// run goes, where the desktop has a tray) with the overall state and the
// latest alerts in its menu, and what the desktop could not show told by
// the tray, else on the monitor window's alert line.

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>

#include "alerts/AlertCenter.h"
#include "alerts/ui/AlertRulesDialog.h"

class QMenu;
class QSystemTrayIcon;

namespace sondrel {

class AlertLogModel;
class AlertRulesDialog;
class IPrompter;
class MonitorPresenter;
class RunMonitor;

class AlertsPresenter final : public QObject {
  Q_OBJECT
 public:
  // The overall state the tray shows.
  enum class Overall { AllUp, SomeLossy, SomeDown };

  AlertsPresenter(AlertCenter& center, RunMonitor& monitor, MonitorPresenter& monitorWindow,
                  std::shared_ptr<IPrompter> prompter, QWidget* mainWindow, QObject* parent = nullptr);
  ~AlertsPresenter() override;

  AlertLogModel* log() const { return log_; }
  // Null while there is no tray (no run, or a desktop without one).
  QSystemTrayIcon* tray() const { return tray_; }
  Overall overall() const { return overall_; }
  static Overall OverallOf(const RunMonitor& monitor);

  // Opens the rules dialog (window-modal); its OK keeps the rules in the
  // user's settings and applies them at once, to a run under way too.
  void showRules();
  AlertRulesDialog* rulesDialog() const { return rules_; }

  // A run began or ended: the tray comes and goes with it.
  void runStarted();
  void runEnded();

 private:
  void refreshTray();
  void notShown(const AlertRecord& record);

  AlertCenter& center_;
  RunMonitor& monitor_;
  MonitorPresenter& monitorWindow_;
  std::shared_ptr<IPrompter> prompter_;
  QPointer<QWidget> mainWindow_;
  QPointer<AlertRulesDialog> rules_;
  AlertLogModel* log_;
  QSystemTrayIcon* tray_ = nullptr;
  std::unique_ptr<QMenu> menu_;
  Overall overall_ = Overall::AllUp;
  QTimer timer_;
};

}  // namespace sondrel
