#pragma once
// The four test-parameter lists of the main window (time-out, interval,
// buffer size, number of pings) and the two "Advanced Setting" buttons. Every
// change is validated at once and written into the PingParameters the run
// reads, so a run picks it up at its next ping or pass.

#include <QFrame>
#include <QString>
#include <memory>

#include "core/ping/PingParameters.h"
#include "core/ping/ParameterLists.h"

class QAction;
class QComboBox;
class QLabel;
class QPushButton;

namespace sondrel {

class AdvancedSettingsDialog;
class IPrompter;

class ParameterFrame final : public QFrame {
  Q_OBJECT
 public:
  // params must outlive the frame; the run reads the same instance.
  ParameterFrame(std::shared_ptr<IPrompter> prompter, PingParameters& params,
                 QWidget* parent = nullptr);
  ~ParameterFrame() override;
  Q_DISABLE_COPY_MOVE(ParameterFrame)

  // Fills the four lists and sets the start values (start-up). The schedule
  // lists are the schedule frame's: call its FillScheduleLists after this.
  void FillParameterLists();

  QComboBox* comboTimeOut() const { return comboTimeOut_; }
  QComboBox* comboInv() const { return comboInv_; }
  QComboBox* comboSize() const { return comboSize_; }
  QComboBox* comboTimes() const { return comboTimes_; }
  // "Advanced Setting" beside the interval list (Command9) and beside the
  // buffer list (Command13); menus may share them.
  QAction* advancedIntervalAction() const { return actionInterval_; }
  QAction* advancedBufferAction() const { return actionBuffer_; }
  // The advanced settings dialog while it is open, else null.
  AdvancedSettingsDialog* advancedDialog() const { return dialog_; }

  const PingParameters& parameters() const { return params_; }

 public Q_SLOTS:
  void ComboTimeOut_Change();
  void ComboInv_Change();
  void ComboSize_Change();
  void ComboTimes_Change();
  // Put "Advanced" into the interval list / buffer list and open the dialog.
  void Command9_Click();
  void Command13_Click();

 Q_SIGNALS:
  // A parameter was changed: the whole set as it is now.
  void parametersChanged(const sondrel::PingParameters& params);

 private:
  enum class Opened { Interval, Buffer };
  void openAdvanced(Opened from);
  void advancedAccepted();
  void advancedClosed(bool accepted);
  void setComboText(QComboBox* combo, bool& guard, const QString& text);
  void critical(std::string_view text);
  void applyBuffer(const BufferSetting& s);
  // Tells the run and shows the refusal, if any, after a value is written.
  void applied(const std::string& message);

  std::shared_ptr<IPrompter> prompter_;
  PingParameters& params_;
  QComboBox* comboTimeOut_ = nullptr;
  QComboBox* comboInv_ = nullptr;
  QComboBox* comboSize_ = nullptr;
  QComboBox* comboTimes_ = nullptr;
  QPushButton* command9_ = nullptr;
  QPushButton* command13_ = nullptr;
  QAction* actionInterval_ = nullptr;
  QAction* actionBuffer_ = nullptr;
  AdvancedSettingsDialog* dialog_ = nullptr;
  Opened openedFrom_ = Opened::Interval;

  // Re-entry guards: set while a handler rewrites its own list.
  bool guardTimeOut_ = false;
  bool guardInv_ = false;
  bool guardSize_ = false;
  bool guardTimes_ = false;

  // The list texts before "Advanced" was chosen, put back on cancel.
  QString invBeforeAdvanced_;
  QString sizeBeforeAdvanced_;
  // The text shown for an advanced buffer setting and that setting.
  QString advancedBufferText_;
  BufferSetting advancedBuffer_;
};

}  // namespace sondrel
