#include "ping/ui/AdvancedSettingsDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace sondrel {
namespace {

QLineEdit* MakeText(const char* name, QWidget* parent) {
  auto* t = new QLineEdit(parent);
  t->setObjectName(QString::fromLatin1(name));
  return t;
}

QString Joined(const std::vector<std::int32_t>& sizes) {
  QStringList parts;
  for (auto s : sizes) parts << QString::number(s);
  return parts.join(QLatin1Char(','));
}

// The message for a field that is not a whole number, or empty.
QString WholeField(const QLineEdit* field, const char* what, std::int32_t& out) {
  const auto n = ParseWholeNumber(field->text().toStdString());
  if (!n)
    return QStringLiteral("Inalid %1. Enter a whole number.       ").arg(QString::fromLatin1(what));
  out = *n;
  return {};
}

}  // namespace

AdvancedSettingsDialog::AdvancedSettingsDialog(IPrompter& prompter, const PingParameters& current,
                                               QWidget* parent)
    : QDialog(parent), prompter_(prompter) {
  setObjectName(QStringLiteral("DialogAdvanced"));
  setWindowTitle(QStringLiteral("Advanced Setting"));
  setModal(true);
  auto* top = new QVBoxLayout(this);

  auto* intervalBox = new QGroupBox(QStringLiteral("Test Interval"), this);
  auto* intervalForm = new QFormLayout(intervalBox);
  checkInterval_ = new QCheckBox(QStringLiteral("Change the interval by a step after each pass"),
                                 intervalBox);
  checkInterval_->setObjectName(QStringLiteral("CheckAdvInterval"));
  textIntStart_ = MakeText("TextIntStart", intervalBox);
  textIntStep_ = MakeText("TextIntStep", intervalBox);
  textIntLimit_ = MakeText("TextIntLimit", intervalBox);
  intervalForm->addRow(checkInterval_);
  intervalForm->addRow(QStringLiteral("Start interval (Milliseconds) :"), textIntStart_);
  intervalForm->addRow(QStringLiteral("Step (Milliseconds) :"), textIntStep_);
  intervalForm->addRow(QStringLiteral("Limit (Milliseconds) :"), textIntLimit_);
  top->addWidget(intervalBox);

  auto* bufferBox = new QGroupBox(QStringLiteral("Buffer Size"), this);
  auto* bufferForm = new QFormLayout(bufferBox);
  checkBuffer_ = new QCheckBox(QStringLiteral("Change the buffer size during the test"), bufferBox);
  checkBuffer_->setObjectName(QStringLiteral("CheckAdvBuffer"));
  optionBufStep_ = new QRadioButton(QStringLiteral("Step up the size"), bufferBox);
  optionBufStep_->setObjectName(QStringLiteral("OptionBuf_0"));
  optionBufList_ = new QRadioButton(QStringLiteral("Use a list of sizes"), bufferBox);
  optionBufList_->setObjectName(QStringLiteral("OptionBuf_1"));
  auto* bufGroup = new QButtonGroup(bufferBox);
  bufGroup->addButton(optionBufStep_, 0);
  bufGroup->addButton(optionBufList_, 1);
  textBufStart_ = MakeText("TextBufStart", bufferBox);
  textBufStep_ = MakeText("TextBufStep", bufferBox);
  textBufCount_ = MakeText("TextBufCount", bufferBox);
  textBufList_ = MakeText("TextBufList", bufferBox);
  textBufPings_ = MakeText("TextBufPings", bufferBox);
  bufferForm->addRow(checkBuffer_);
  bufferForm->addRow(optionBufStep_);
  bufferForm->addRow(QStringLiteral("Start size (Bytes) :"), textBufStart_);
  bufferForm->addRow(QStringLiteral("Step (Bytes) :"), textBufStep_);
  bufferForm->addRow(QStringLiteral("Number of sizes :"), textBufCount_);
  bufferForm->addRow(optionBufList_);
  bufferForm->addRow(QStringLiteral("Sizes (Bytes, separated by \",\") :"), textBufList_);
  bufferForm->addRow(QStringLiteral("Pings per size :"), textBufPings_);
  top->addWidget(bufferBox);

  auto* passBox = new QGroupBox(QStringLiteral("Pass"), this);
  auto* passLayout = new QVBoxLayout(passBox);
  optionPassTogether_ =
      new QRadioButton(QStringLiteral("Send the echoes of a pass together"), passBox);
  optionPassTogether_->setObjectName(QStringLiteral("OptionPass_0"));
  optionPassOneByOne_ =
      new QRadioButton(QStringLiteral("Send the echoes of a pass one after the other"), passBox);
  optionPassOneByOne_->setObjectName(QStringLiteral("OptionPass_1"));
  passLayout->addWidget(optionPassTogether_);
  passLayout->addWidget(optionPassOneByOne_);
  top->addWidget(passBox);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  commandOK_ = new QPushButton(QStringLiteral("OK"), this);
  commandOK_->setObjectName(QStringLiteral("CommandAdvOK"));
  commandOK_->setDefault(true);
  commandCancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  commandCancel_->setObjectName(QStringLiteral("CommandAdvCancel"));
  buttons->addWidget(commandOK_);
  buttons->addWidget(commandCancel_);
  top->addLayout(buttons);

  // Show what the run uses now, or a useful example where nothing is set.
  if (current.advancedInterval) {
    const std::int32_t step = current.intervalStep < 0 ? -current.intervalStep : current.intervalStep;
    textIntStart_->setText(QString::number(current.intervalStart));
    textIntStep_->setText(QString::number(step));
    textIntLimit_->setText(QString::number(current.intervalLimit));
  } else {
    textIntStart_->setText(QString::number(current.intervalMs));
    textIntStep_->setText(QStringLiteral("100"));
    textIntLimit_->setText(QString::number(current.intervalMs + 1000));
  }
  checkInterval_->setChecked(current.advancedInterval);
  textBufStart_->setText(QString::number(current.mode == BufferMode::Incremental ? current.startSize : 32));
  textBufStep_->setText(QString::number(current.mode == BufferMode::Incremental ? current.step : 32));
  textBufCount_->setText(
      QString::number(current.mode == BufferMode::Incremental ? current.numberOfSizes : 10));
  textBufList_->setText(current.mode == BufferMode::Multiple ? Joined(current.sizes)
                                                             : QStringLiteral("16,32,64,1024"));
  textBufPings_->setText(QString::number(current.mode == BufferMode::Single ? 1 : current.pingsPerSize));
  (current.mode == BufferMode::Multiple ? optionBufList_ : optionBufStep_)->setChecked(true);
  (current.passMode == PassMode::OneByOne ? optionPassOneByOne_ : optionPassTogether_)
      ->setChecked(true);

  connect(checkInterval_, &QCheckBox::toggled, this, &AdvancedSettingsDialog::updateEnabled);
  connect(checkBuffer_, &QCheckBox::toggled, this, &AdvancedSettingsDialog::updateEnabled);
  connect(optionBufStep_, &QRadioButton::toggled, this, &AdvancedSettingsDialog::updateEnabled);
  connect(commandOK_, &QPushButton::clicked, this, &AdvancedSettingsDialog::CommandAdvOK_Click);
  connect(commandCancel_, &QPushButton::clicked, this, &QDialog::reject);
  updateEnabled();
}

AdvancedSettingsDialog::~AdvancedSettingsDialog() = default;

void AdvancedSettingsDialog::useIntervalPart() {
  checkInterval_->setChecked(true);
  textIntStart_->setFocus();
}

void AdvancedSettingsDialog::useBufferPart() {
  checkBuffer_->setChecked(true);
  (optionBufStep_->isChecked() ? textBufStart_ : textBufList_)->setFocus();
}

void AdvancedSettingsDialog::updateEnabled() {
  const bool interval = checkInterval_->isChecked();
  for (auto* t : {textIntStart_, textIntStep_, textIntLimit_}) t->setEnabled(interval);
  const bool buffer = checkBuffer_->isChecked();
  const bool step = optionBufStep_->isChecked();
  optionBufStep_->setEnabled(buffer);
  optionBufList_->setEnabled(buffer);
  textBufPings_->setEnabled(buffer);
  for (auto* t : {textBufStart_, textBufStep_, textBufCount_}) t->setEnabled(buffer && step);
  textBufList_->setEnabled(buffer && !step);
}

QString AdvancedSettingsDialog::validate() {
  Values v;
  v.passMode = optionPassOneByOne_->isChecked() ? PassMode::OneByOne : PassMode::Together;
  v.useInterval = checkInterval_->isChecked();
  if (v.useInterval) {
    std::int32_t start = 0, step = 0, limit = 0;
    for (const auto& [field, what, out] :
         {std::tuple{textIntStart_, "Start Interval", &start}, std::tuple{textIntStep_, "Interval Step", &step},
          std::tuple{textIntLimit_, "Interval Limit", &limit}})
      if (QString m = WholeField(field, what, *out); !m.isEmpty()) return m;
    if (step < 1) return QStringLiteral("Inalid Interval Step. It must be 1 Milliseconds or more.       ");
    // The step moves towards the limit, whichever side it lies on.
    v.interval = {start, limit < start ? -step : step, limit};
    if (const auto m = ValidateAdvancedInterval(v.interval); !m.empty())
      return QString::fromStdString(m);
  }
  v.useBuffer = checkBuffer_->isChecked();
  if (v.useBuffer) {
    BufferSetting& b = v.buffer;
    if (QString m = WholeField(textBufPings_, "Pings Per Size", b.pingsPerSize); !m.isEmpty())
      return m;
    if (optionBufStep_->isChecked()) {
      b.mode = BufferMode::Incremental;
      for (const auto& [field, what, out] :
           {std::tuple{textBufStart_, "Start Size", &b.startSize}, std::tuple{textBufStep_, "Size Step", &b.step},
            std::tuple{textBufCount_, "Number Of Sizes", &b.numberOfSizes}})
        if (QString m = WholeField(field, what, *out); !m.isEmpty()) return m;
    } else {
      b.mode = BufferMode::Multiple;
      const auto sizes = ParseSizeList(textBufList_->text().toStdString());
      if (!sizes)
        return QStringLiteral(
            "Inalid Size List. Enter whole numbers separated by \",\", for example 16,32,64.       ");
      b.sizes = *sizes;
      b.numberOfSizes = static_cast<std::int32_t>(b.sizes.size());
    }
    if (const auto m = ValidateBufferSetting(b); !m.empty()) return QString::fromStdString(m);
  }
  values_ = v;
  return {};
}

void AdvancedSettingsDialog::CommandAdvOK_Click() {
  const QString m = validate();
  if (m.isEmpty()) {
    accept();
    return;
  }
  prompter_.message(m, QString(), IPrompter::Icon::Critical, IPrompter::Buttons::Ok);
}

}  // namespace sondrel
