#pragma once
// The alert rules and their actions, edited as a table: one row per rule
// (name; kind; the threshold that fires it and the one that clears it, for
// loss in percent and for latency in milliseconds; the latency measure; the
// targets it watches, by label, address or group, none for all; whether it
// notifies the desktop and plays the warning sound; the command it starts),
// and the settings every rule shares. OK checks every row and says what is
// wrong before anything is kept.

#include <QDialog>

#include "alerts/AlertCenter.h"
#include "core/common/Result.h"

class QSpinBox;
class QTableWidget;

namespace sondrel {

class IPrompter;

class AlertRulesDialog final : public QDialog {
  Q_OBJECT
 public:
  enum Column { Name, Kind, Raise, Clear, Measure, Targets, Notify, Sound, Command, kColumns };

  AlertRulesDialog(const AlertSettings& settings, IPrompter* prompter, QWidget* parent = nullptr);

  QTableWidget* table() const { return table_; }
  QSpinBox* minInterval() const { return minInterval_; }
  QSpinBox* commandTimeout() const { return timeout_; }
  QSpinBox* commandsAtOnce() const { return atOnce_; }
  // A new row of the given kind, with its usual thresholds.
  void addRule(AlertKind kind);
  // The settings as the table has them, or the first row's fault.
  Result<AlertSettings> settings() const;

  void accept() override;

 private:
  void setRow(int row, const AlertRuleSettings& rule);

  IPrompter* prompter_;
  QTableWidget* table_;
  QSpinBox* minInterval_;
  QSpinBox* timeout_;
  QSpinBox* atOnce_;
};

}  // namespace sondrel
