#pragma once
// Alerts of the live run: the user's rules (AlertSettings) applied to what
// the run monitor finds (outages as they begin and end, the recent window's
// loss and round trips once a second), and each alert told through the
// rule's actions: a desktop notification, the user's command (AlertCommands,
// with the alert in its environment), the desktop's warning sound. Every
// alert is handed on (alerted) for the alert log, the tray and the archive,
// and once more when its command has ended.

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/RunArchive.h"
#include "core/alerts/AlertRules.h"

namespace sondrel {

class AlertCommands;
class IClock;
class INotifier;
class ProcessService;
class RunMonitor;

// A rule with what it does when it fires.
struct AlertRuleSettings {
  AlertRule rule;
  bool notify = true;
  bool sound = false;
  std::vector<std::string> command;  // program and arguments; empty: none
};

// The user's alert settings ($XDG_CONFIG_HOME/sondrel/sondrel.ini, group
// [alerts]: min_interval_s, command_timeout_s, commands_at_once and the
// array rules: name, kind (outage, loss, latency), raise, clear, measure
// (median, p95), targets, notify, sound, command).
struct AlertSettings {
  std::vector<AlertRuleSettings> rules;
  int minIntervalSeconds = 60;
  int commandTimeoutSeconds = 30;
  int commandsAtOnce = 4;
  // For one run only (the command line's --on-event and --notify), never
  // stored: a command for every alert beside the rule's own, and the
  // desktop told of every alert.
  std::vector<std::string> everyAlertCommand;
  bool notifyEvery = false;
  // Notifications offer "Show" (a window can show the target).
  bool offerShow = true;
};
AlertSettings ReadAlertSettings();
void WriteAlertSettings(const AlertSettings& settings);

// One alert as told, for the log.
struct AlertRecord {
  std::uint64_t id = 0;
  Alert alert;
  QString rule;
  QString target, address;
  QString summary, body;
  bool notified = false;      // the desktop showed it
  std::optional<int> exitStatus;  // of the rule's command, once ended (-1: did not start)
  bool timedOut = false;
  QByteArray output;          // the command's, at most a few KB
};

// The texts of an alert: the notification's summary and body.
std::pair<QString, QString> AlertTexts(const Alert& alert, const QString& rule, const QString& target,
                                       const QString& address, int windowMinutes);
// The environment a rule's command is given.
std::vector<std::pair<std::string, std::string>> AlertEnvironment(const AlertRecord& record);
// The alert as the run archive keeps it.
ArchivedAlert ArchivedAlertOf(const AlertRecord& record);
// A moment as ISO 8601 local time with milliseconds and the UTC offset.
QString IsoLocalTime(std::int64_t utcUs);

class AlertCenter final : public QObject {
  Q_OBJECT
 public:
  static constexpr int kTickMs = 1000;

  // `notifier` may be null (no desktop); `processes` starts the commands.
  AlertCenter(RunMonitor& monitor, std::shared_ptr<IClock> clock, AlertSettings settings,
              std::shared_ptr<INotifier> notifier, std::shared_ptr<ProcessService> processes,
              QObject* parent = nullptr);
  ~AlertCenter() override;

  const AlertSettings& settings() const { return settings_; }
  void setSettings(AlertSettings settings);
  const std::vector<AlertRecord>& log() const { return log_; }
  AlertCommands& commands() { return *commands_; }
  // Tells what the minimum interval held once it has passed (the timer does
  // it once a second while a run goes; the figures are judged as results
  // come).
  void check();

 Q_SIGNALS:
  // A new alert, and the same alert again once its command has ended or the
  // desktop has answered.
  void alerted(const sondrel::AlertRecord& record);
  void updated(const sondrel::AlertRecord& record);
  // The desktop could not show it: whoever has a tray or a window tells it.
  void notShown(const sondrel::AlertRecord& record);
  // The user chose "Show" on the notification of a target.
  void showTarget(std::uint32_t target);

 private:
  void restart();
  // The recent window of every target against the loss and latency rules.
  void judge(std::int64_t nowUtcUs);
  void dispatch();
  AlertRecord* recordOf(std::uint64_t id);

  RunMonitor& monitor_;
  std::shared_ptr<IClock> clock_;
  AlertSettings settings_;
  std::shared_ptr<INotifier> notifier_;
  std::shared_ptr<ProcessService> processes_;
  std::unique_ptr<AlertCommands> commands_;
  std::unique_ptr<AlertEngine> engine_;
  std::vector<AlertRecord> log_;
  std::uint64_t nextId_ = 1;
  QTimer timer_;
};

}  // namespace sondrel
