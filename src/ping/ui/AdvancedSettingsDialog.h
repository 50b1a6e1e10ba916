#pragma once
// The advanced test parameters: an interval that moves by a step from a start
// value towards a limit, an advanced buffer setting (a step-up cycle or a list
// of sizes), and how the echoes of a pass go out. Every value is checked on
// OK; a refused value is named in a message box and the dialog stays open.

#include <QDialog>

#include "core/ping/PingParameters.h"
#include "core/ping/ParameterLists.h"
#include "ports/Prompter.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;
class QPushButton;

namespace sondrel {

class AdvancedSettingsDialog final : public QDialog {
  Q_OBJECT
 public:
  // The values chosen on OK.
  struct Values {
    bool useInterval = false;
    AdvancedInterval interval;
    bool useBuffer = false;
    BufferSetting buffer;
    PassMode passMode = PassMode::Together;
  };

  // Shows the current parameters; prompter carries the validation messages.
  AdvancedSettingsDialog(IPrompter& prompter, const PingParameters& current,
                         QWidget* parent = nullptr);
  ~AdvancedSettingsDialog() override;
  Q_DISABLE_COPY_MOVE(AdvancedSettingsDialog)

  // Ticks the interval or the buffer part (the part the user asked for).
  void useIntervalPart();
  void useBufferPart();

  // Valid after accepted().
  const Values& values() const { return values_; }

  // The check behind OK, callable for tests: empty when every value is
  // usable (and values() is filled), else the first message.
  QString validate();

 public Q_SLOTS:
  void CommandAdvOK_Click();

 private:
  void updateEnabled();

  IPrompter& prompter_;
  Values values_;
  QCheckBox* checkInterval_ = nullptr;
  QLineEdit* textIntStart_ = nullptr;
  QLineEdit* textIntStep_ = nullptr;
  QLineEdit* textIntLimit_ = nullptr;
  QCheckBox* checkBuffer_ = nullptr;
  QRadioButton* optionBufStep_ = nullptr;
  QRadioButton* optionBufList_ = nullptr;
  QLineEdit* textBufStart_ = nullptr;
  QLineEdit* textBufStep_ = nullptr;
  QLineEdit* textBufCount_ = nullptr;
  QLineEdit* textBufList_ = nullptr;
  QLineEdit* textBufPings_ = nullptr;
  QRadioButton* optionPassTogether_ = nullptr;
  QRadioButton* optionPassOneByOne_ = nullptr;
  QPushButton* commandOK_ = nullptr;
  QPushButton* commandCancel_ = nullptr;
};

}  // namespace sondrel
