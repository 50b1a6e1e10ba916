#include "ping/ui/ParameterFrame.h"

#include <QAction>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>

#include "ping/ui/AdvancedSettingsDialog.h"
#include "ports/Prompter.h"
#include "text/TextBytes.h"

namespace sondrel {
namespace {

QStringList Items(const std::vector<std::string>& items) {
  QStringList out;
  for (const auto& i : items) out << QString::fromStdString(i);
  return out;
}

QComboBox* MakeCombo(const char* name, QWidget* parent) {
  auto* c = new QComboBox(parent);
  c->setObjectName(QString::fromLatin1(name));
  c->setEditable(true);
  c->setInsertPolicy(QComboBox::NoInsert);  // typed text is a value, not a new item
  c->setMaxVisibleItems(20);
  return c;
}

}  // namespace

ParameterFrame::ParameterFrame(std::shared_ptr<IPrompter> prompter, PingParameters& params,
                               QWidget* parent)
    : QFrame(parent), prompter_(std::move(prompter)), params_(params) {
  setObjectName(QStringLiteral("Frame1"));
  auto* grid = new QGridLayout(this);

  comboTimeOut_ = MakeCombo("ComboTimeOut", this);
  comboInv_ = MakeCombo("ComboInv", this);
  comboSize_ = MakeCombo("ComboSize", this);
  comboTimes_ = MakeCombo("ComboTimes", this);

  const struct {
    const char* label;
    const char* name;
    QComboBox* combo;
  } rows[] = {{"Time Out :", "LabelTimeOut", comboTimeOut_},
              {"Interval :", "LabelInv", comboInv_},
              {"Buffer Size :", "LabelSize", comboSize_},
              {"Ping Times :", "LabelTimes", comboTimes_}};
  int row = 0;
  for (const auto& r : rows) {
    auto* label = new QLabel(QString::fromLatin1(r.label), this);
    label->setObjectName(QString::fromLatin1(r.name));
    label->setBuddy(r.combo);
    grid->addWidget(label, row, 0);
    grid->addWidget(r.combo, row, 1);
    ++row;
  }

  actionInterval_ = new QAction(QStringLiteral("Advanced Setting"), this);
  actionInterval_->setObjectName(QStringLiteral("actionAdvancedInterval"));
  actionBuffer_ = new QAction(QStringLiteral("Advanced Setting"), this);
  actionBuffer_->setObjectName(QStringLiteral("actionAdvancedBuffer"));
  command9_ = new QPushButton(actionInterval_->text(), this);
  command9_->setObjectName(QStringLiteral("Command9"));
  command13_ = new QPushButton(actionBuffer_->text(), this);
  command13_->setObjectName(QStringLiteral("Command13"));
  command9_->hide();
  command13_->hide();
  grid->addWidget(command9_, 1, 2);
  grid->addWidget(command13_, 2, 2);

  connect(command9_, &QPushButton::clicked, actionInterval_, &QAction::trigger);
  connect(command13_, &QPushButton::clicked, actionBuffer_, &QAction::trigger);
  connect(actionInterval_, &QAction::triggered, this, &ParameterFrame::Command9_Click);
  connect(actionBuffer_, &QAction::triggered, this, &ParameterFrame::Command13_Click);

  // A change (typed or chosen) applies the text; a click on an item runs the
  // same handler, so choosing the item already shown applies it again.
  const std::pair<QComboBox*, void (ParameterFrame::*)()> handlers[] = {
      {comboTimeOut_, &ParameterFrame::ComboTimeOut_Change},
      {comboInv_, &ParameterFrame::ComboInv_Change},
      {comboSize_, &ParameterFrame::ComboSize_Change},
      {comboTimes_, &ParameterFrame::ComboTimes_Change}};
  for (const auto& [combo, handler] : handlers) {
    connect(combo, &QComboBox::editTextChanged, this, handler);
    connect(combo, &QComboBox::activated, this, handler);
  }
}

ParameterFrame::~ParameterFrame() = default;

void ParameterFrame::FillParameterLists() {
  // Each list is filled quietly, then its handler applies the start item.
  const auto fill = [this](QComboBox* combo, bool& guard, const std::vector<std::string>& items,
                           int index) {
    QScopedValueRollback<bool> hold(guard, true);
    combo->clear();
    combo->addItems(Items(items));
    combo->setCurrentIndex(index);
  };
  fill(comboInv_, guardInv_, IntervalItems(), kIntervalStartItem);
  command9_->show();
  ComboInv_Change();
  fill(comboTimeOut_, guardTimeOut_, TimeOutItems(), kTimeOutStartItem);
  ComboTimeOut_Change();

  params_.intervalMs = kDefaultIntervalMs;
  params_.advancedInterval = false;
  params_.pingsPerTarget = kDefaultTimes;
  params_.timeoutMs = kDefaultTimeOutMs;
  Q_EMIT parametersChanged(params_);

  fill(comboSize_, guardSize_, BufferSizeItems(), kBufferSizeStartItem);
  command13_->show();
  ComboSize_Change();
  fill(comboTimes_, guardTimes_, TimesItems(), kTimesStartItem);
  ComboTimes_Change();
}

void ParameterFrame::critical(std::string_view text) {
  if (prompter_)
    prompter_->message(ProgramText(text), QString(), IPrompter::Icon::Critical,
                       IPrompter::Buttons::Ok);
}

void ParameterFrame::setComboText(QComboBox* combo, bool& guard, const QString& text) {
  QScopedValueRollback<bool> hold(guard, true);
  combo->setEditText(text);
}

void ParameterFrame::ComboTimeOut_Change() {
  if (guardTimeOut_) return;
  QScopedValueRollback<bool> hold(guardTimeOut_, true);
  const ParsedValue v = ParseTimeOut(comboTimeOut_->currentText().toStdString());
  params_.timeoutMs = static_cast<std::uint32_t>(v.value);
  applied(v.message);
}

void ParameterFrame::ComboInv_Change() {
  if (guardInv_) return;
  QScopedValueRollback<bool> hold(guardInv_, true);
  const QString text = comboInv_->currentText();
  if (text == ProgramText(kAdvancedItem)) {
    openAdvanced(Opened::Interval);
    return;
  }
  invBeforeAdvanced_ = text;
  if (const auto a = ParseAdvancedIntervalText(text.toStdString())) {
    params_.advancedInterval = true;
    params_.intervalStart = static_cast<std::uint32_t>(a->start);
    params_.intervalStep = a->step;
    params_.intervalLimit = static_cast<std::uint32_t>(a->limit);
    params_.intervalMs = params_.intervalStart;
    Q_EMIT parametersChanged(params_);
    return;
  }
  const ParsedValue v = ParseInterval(text.toStdString());
  params_.advancedInterval = false;
  params_.intervalMs = static_cast<std::uint32_t>(v.value);
  applied(v.message);
}

void ParameterFrame::ComboSize_Change() {
  if (guardSize_) return;
  QScopedValueRollback<bool> hold(guardSize_, true);
  const QString text = comboSize_->currentText();
  if (text == ProgramText(kAdvancedItem)) {
    openAdvanced(Opened::Buffer);
    return;
  }
  sizeBeforeAdvanced_ = text;
  if (!advancedBufferText_.isEmpty() && text == advancedBufferText_) {
    applyBuffer(advancedBuffer_);
    return;
  }
  const ParsedBuffer b = ParseBufferSize(text.toStdString());
  ApplyBufferSetting(b.setting, params_);
  // The times list's own handler sets the pings per target.
  if (b.setsTimesToStepUp) comboTimes_->setEditText(ProgramText(kStepUpTimes));
  applied(b.message);
}

void ParameterFrame::applied(const std::string& message) {
  Q_EMIT parametersChanged(params_);
  if (!message.empty()) critical(message);
}

void ParameterFrame::applyBuffer(const BufferSetting& s) {
  ApplyBufferSetting(s, params_);
  Q_EMIT parametersChanged(params_);
}

void ParameterFrame::ComboTimes_Change() {
  if (guardTimes_) return;
  QScopedValueRollback<bool> hold(guardTimes_, true);
  const ParsedValue v = ParseTimes(comboTimes_->currentText().toStdString());
  params_.pingsPerTarget = v.value;
  applied(v.message);
}

void ParameterFrame::Command9_Click() {
  if (comboInv_->currentText() == ProgramText(kAdvancedItem))
    ComboInv_Change();
  else
    comboInv_->setEditText(ProgramText(kAdvancedItem));
}

void ParameterFrame::Command13_Click() {
  if (comboSize_->currentText() == ProgramText(kAdvancedItem))
    ComboSize_Change();
  else
    comboSize_->setEditText(ProgramText(kAdvancedItem));
}

void ParameterFrame::openAdvanced(Opened from) {
  if (dialog_) {
    // Already open (the change and the click of one choice both get here).
    if (from == Opened::Interval)
      dialog_->useIntervalPart();
    else
      dialog_->useBufferPart();
    dialog_->raise();
    dialog_->activateWindow();
    return;
  }
  openedFrom_ = from;
  dialog_ = new AdvancedSettingsDialog(*prompter_, params_, this);
  dialog_->setAttribute(Qt::WA_DeleteOnClose);
  if (params_.advancedInterval || from == Opened::Interval) dialog_->useIntervalPart();
  if (from == Opened::Buffer ||
      (!advancedBufferText_.isEmpty() && sizeBeforeAdvanced_ == advancedBufferText_))
    dialog_->useBufferPart();
  connect(dialog_, &QDialog::finished, this,
          [this](int result) { advancedClosed(result == QDialog::Accepted); });
  dialog_->open();
}

void ParameterFrame::advancedClosed(bool accepted) {
  if (accepted && dialog_) advancedAccepted();
  // What was not set in the dialog keeps its former text (and value).
  if (comboInv_->currentText() == ProgramText(kAdvancedItem))
    setComboText(comboInv_, guardInv_, invBeforeAdvanced_);
  if (comboSize_->currentText() == ProgramText(kAdvancedItem))
    setComboText(comboSize_, guardSize_, sizeBeforeAdvanced_);
  dialog_ = nullptr;
}

void ParameterFrame::advancedAccepted() {
  const auto& v = dialog_->values();
  params_.passMode = v.passMode;
  Q_EMIT parametersChanged(params_);

  if (v.useInterval) {
    setComboText(comboInv_, guardInv_, QString::fromStdString(AdvancedIntervalText(v.interval)));
    ComboInv_Change();
  } else if (params_.advancedInterval) {
    setComboText(comboInv_, guardInv_,
                 QString::number(params_.intervalMs) + QStringLiteral("  Milliseconds"));
    ComboInv_Change();
  }

  const bool bufferShown = !advancedBufferText_.isEmpty() &&
                           (comboSize_->currentText() == advancedBufferText_ ||
                            sizeBeforeAdvanced_ == advancedBufferText_);
  if (v.useBuffer) {
    advancedBuffer_ = v.buffer;
    advancedBufferText_ = QString::fromStdString(AdvancedBufferText(v.buffer));
    setComboText(comboSize_, guardSize_, advancedBufferText_);
    ComboSize_Change();
  } else if (bufferShown) {
    setComboText(comboSize_, guardSize_,
                 QString::number(FirstSize(advancedBuffer_)) + QStringLiteral("  Bytes"));
    ComboSize_Change();
  }
  Q_EMIT parametersChanged(params_);
}

}  // namespace sondrel
