#include "ping/ui/ScheduleFrame.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "core/ports/Clock.h"

namespace sondrel {
namespace {

const QColor kScheduleGreen(0x80, 0xFF, 0x80);


void Fill(QComboBox* combo, const std::vector<std::string>& items) {
  combo->clear();
  for (const auto& i : items) combo->addItem(QString::fromStdString(i));
}

// Chooses the item whose number equals the text's ("05" chooses "5").
void Choose(QComboBox* combo, const std::string& text) {
  bool ok = false;
  const int n = QString::fromStdString(text).trimmed().toInt(&ok);
  if (!ok) return;
  const int at = combo->findText(QString::number(n));
  if (at >= 0) combo->setCurrentIndex(at);
}

int Chosen(const QComboBox* combo) { return combo->currentText().toInt(); }

}  // namespace

ScheduleFrame::ScheduleFrame(std::shared_ptr<IClock> clock, ScheduleCheck& check, QWidget* parent)
    : QFrame(parent), clock_(std::move(clock)), check_(check) {
  setObjectName(QStringLiteral("FrameSchedule"));
  auto* grid = new QGridLayout(this);

  const char* captions[] = {"Immediately", "Schedule"};
  for (int i = 0; i < 2; ++i) {
    optionSch_[i] = new QRadioButton(QString::fromLatin1(captions[i]), this);
    optionSch_[i]->setObjectName(QStringLiteral("OptionSch_%1").arg(i));
    grid->addWidget(optionSch_[i], 0, i);
    connect(optionSch_[i], &QRadioButton::clicked, this, [this, i] { OptionSch_Click(i); });
  }
  optionSch_[0]->setChecked(true);

  labelFrom_ = new QLabel(QStringLiteral("From :"), this);
  labelFrom_->setObjectName(QStringLiteral("LabelFrom"));
  labelTo_ = new QLabel(QStringLiteral("To :"), this);
  labelTo_->setObjectName(QStringLiteral("LabelTo"));
  comboFrom_ = new QComboBox(this);
  comboFrom_->setObjectName(QStringLiteral("ComboFrom"));
  comboTo_ = new QComboBox(this);
  comboTo_->setObjectName(QStringLiteral("ComboTo"));
  for (auto* c : {comboFrom_, comboTo_}) {
    // The time editor is the only way in, so a time is always well formed.
    c->setEditable(true);
    c->lineEdit()->setReadOnly(true);
    c->installEventFilter(this);
    c->lineEdit()->installEventFilter(this);
  }
  grid->addWidget(labelFrom_, 1, 0);
  grid->addWidget(comboFrom_, 1, 1);
  grid->addWidget(labelTo_, 2, 0);
  grid->addWidget(comboTo_, 2, 1);

  frameTime_ = new QFrame(this);
  frameTime_->setObjectName(QStringLiteral("FrameTime"));
  frameTime_->setFrameShape(QFrame::Box);
  frameTime_->setAutoFillBackground(true);
  auto* timeGrid = new QGridLayout(frameTime_);
  const struct {
    const char* caption;
    const char* name;
    QComboBox** combo;
  } lists[] = {{"Year :", "ComboSYear", &comboSYear_},
               {"Month :", "ComboSMonth", &comboSMonth_},
               {"Day :", "ComboSDay", &comboSDay_},
               {"Hour :", "ComboSHour", &comboSHour_},
               {"Minute :", "ComboSMinute", &comboSMinute_}};
  int column = 0;
  for (const auto& l : lists) {
    timeGrid->addWidget(new QLabel(QString::fromLatin1(l.caption), frameTime_), 0, column);
    *l.combo = new QComboBox(frameTime_);
    (*l.combo)->setObjectName(QString::fromLatin1(l.name));
    (*l.combo)->setMaxVisibleItems(16);
    timeGrid->addWidget(*l.combo, 1, column);
    ++column;
  }
  commandOK_ = new QPushButton(QStringLiteral("OK"), frameTime_);
  commandOK_->setObjectName(QStringLiteral("CommandOK"));
  commandCancel_ = new QPushButton(QStringLiteral("Cancel"), frameTime_);
  commandCancel_->setObjectName(QStringLiteral("CommandCancel"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(commandOK_);
  buttons->addWidget(commandCancel_);
  timeGrid->addLayout(buttons, 2, 0, 1, column);
  frameTime_->adjustSize();
  frameTime_->hide();
  connect(commandOK_, &QPushButton::clicked, this, &ScheduleFrame::CommandOK_Click);
  connect(commandCancel_, &QPushButton::clicked, this, &ScheduleFrame::CommandCancel_Click);

  setFieldsEnabled(false);
}

ScheduleFrame::~ScheduleFrame() {
  // The editor may have moved to the window; it is ours all the same.
  if (frameTime_ && frameTime_->parent() != this) delete frameTime_.data();
}

bool ScheduleFrame::scheduleSelected() const { return optionSch_[1]->isChecked(); }
QString ScheduleFrame::fromText() const { return comboFrom_->currentText(); }
QString ScheduleFrame::toText() const { return comboTo_->currentText(); }

void ScheduleFrame::setTestRunning(bool running) { testRunning_ = running; }

void ScheduleFrame::FillScheduleLists() {
  // The clock is read for each time on its own.
  check_.setStartTime(ScheduleTimeOf(AddHours(clock_->now(), kScheduleStartHours)));
  check_.setEndTime(ScheduleTimeOf(AddHours(clock_->now(), kScheduleEndHours)));
  writeTimeTexts();
  const ScheduleLists lists = sondrel::FillScheduleLists(clock_->now());
  Fill(comboSYear_, lists.years);
  Fill(comboSMonth_, lists.months);
  Fill(comboSDay_, lists.days);
  Fill(comboSHour_, lists.hours);
  Fill(comboSMinute_, lists.minutes);
}

void ScheduleFrame::writeTimeTexts() {
  comboFrom_->setEditText(QString::fromStdString(ScheduleTimeText(check_.startTime())));
  comboTo_->setEditText(QString::fromStdString(ScheduleTimeText(check_.endTime())));
}

void ScheduleFrame::ShowSchedule() {
  if (testRunning_) return;
  Q_EMIT scheduleShown(QString::fromStdString(
      ScheduleTitle(fromText().toStdString(), toText().toStdString())));
}

void ScheduleFrame::setFieldsEnabled(bool enabled) {
  for (QWidget* w : std::initializer_list<QWidget*>{labelFrom_, labelTo_, comboFrom_, comboTo_})
    w->setEnabled(enabled);
  for (auto* c : {comboFrom_, comboTo_}) {
    QPalette p = palette();
    if (enabled) p.setColor(QPalette::Base, kScheduleGreen);
    c->setPalette(p);
    c->lineEdit()->setPalette(p);
  }
}

void ScheduleFrame::OptionSch_Click(int index) {
  if (index == 1) {
    if (optionSch_[1]->isChecked()) {
      setFieldsEnabled(true);
      // An armed flag left from a scheduled start that found nothing to test
      // would keep this schedule from ever starting.
      if (!testRunning_) check_.setArmed(false);
      check_.setScheduleSelected(true);
      FillScheduleLists();
      ShowSchedule();
      check_.enable();
    } else {
      check_.disable();
      FillScheduleLists();
    }
    hideFrameTime();
    return;
  }
  if (!optionSch_[0]->isChecked()) return;
  setFieldsEnabled(false);
  check_.disable();
  check_.setScheduleSelected(false);
  Q_EMIT scheduleTitleCleared();
  hideFrameTime();
}

void ScheduleFrame::selectImmediately() {
  optionSch_[0]->setChecked(true);
  OptionSch_Click(0);
}

void ScheduleFrame::ComboFrom_GotFocus() { editTime(QStringLiteral("ComboFrom")); }
void ScheduleFrame::ComboTo_GotFocus() { editTime(QStringLiteral("ComboTo")); }

void ScheduleFrame::editTime(const QString& field) {
  editedField_ = field;
  QComboBox* combo = field == QStringLiteral("ComboFrom") ? comboFrom_ : comboTo_;
  const ScheduleTextParts parts = SplitScheduleText(combo->currentText().toStdString());
  Choose(comboSYear_, parts.year);
  Choose(comboSMonth_, parts.month);
  Choose(comboSDay_, parts.day);
  Choose(comboSHour_, parts.hour);
  Choose(comboSMinute_, parts.minute);

  // Float over the window's other controls, just below the edited field.
  QWidget* top = window();
  if (frameTime_->parentWidget() != top) frameTime_->setParent(top);
  frameTime_->adjustSize();
  const QPoint below = combo->mapTo(top, QPoint(0, combo->height()));
  const int x = std::max(0, std::min(below.x(), top->width() - frameTime_->width()));
  frameTime_->move(x, below.y());
  frameTime_->show();
  frameTime_->raise();
  commandOK_->setFocus();
}

void ScheduleFrame::CommandOK_Click() {
  frameTime_->hide();
  const ScheduleTime t{Chosen(comboSYear_), Chosen(comboSMonth_), Chosen(comboSDay_),
                       Chosen(comboSHour_), Chosen(comboSMinute_)};
  if (editedField_ == QStringLiteral("ComboFrom"))
    check_.setStartTime(t);
  else if (editedField_ == QStringLiteral("ComboTo"))
    check_.setEndTime(t);
  writeTimeTexts();
  ShowSchedule();
}

void ScheduleFrame::CommandCancel_Click() { frameTime_->hide(); }

void ScheduleFrame::hideFrameTime() { frameTime_->hide(); }

bool ScheduleFrame::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn) {
    if (watched == comboFrom_ || watched == comboFrom_->lineEdit())
      ComboFrom_GotFocus();
    else if (watched == comboTo_ || watched == comboTo_->lineEdit())
      ComboTo_GotFocus();
  }
  return QFrame::eventFilter(watched, event);
}

}  // namespace sondrel
