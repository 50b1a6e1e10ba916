#include "iplist/ui/FormAddIPR.h"

#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/common/AddressHelpers.h"
#include "iplist/ui/DialogCommon.h"
#include "ports/Prompter.h"
#include "text/TextBytes.h"

namespace sondrel {

using namespace listui;

namespace {
QLineEdit* makeBox(const char* name, QWidget* parent) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(QString::fromLatin1(name));
  return box;
}
}  // namespace

FormAddIPR::FormAddIPR(DialogExchange& exchange, IPrompter& prompter, QWidget* parent)
    : ListEntryDialog(exchange, prompter, parent, QStringLiteral("FormAddIPR"),
                      QStringLiteral(" Add a Range of IP Addresses:")) {
  auto* titleLabel = new QLabel(QStringLiteral("Tittle:"), this);
  titleLabel->setObjectName(QStringLiteral("Label2"));
  textTittle_ = makeBox("TextTittle", this);
  textTittle_->setText(QStringLiteral("IP_Range_"));
  auto* rangeLabel = new QLabel(QStringLiteral("IP Range:"), this);
  rangeLabel->setObjectName(QStringLiteral("Label3"));
  textIP_ = makeBox("TextIP", this);
  textIP2_ = makeBox("TextIP2", this);
  textIP2_->installEventFilter(this);
  command3_ = MakeButton("Command3", QStringLiteral(">>"), this);
  command3_->setToolTip(QStringLiteral("Copy the first address into the second field"));
  makeAddButton();
  command4_ = MakeButton("Command4", QStringLiteral("Scan IP"), this);
  makeExitButton();
  makeStatusLine("Label1");

  auto* grid = new QGridLayout(this);
  grid->addWidget(titleLabel, 0, 0);
  grid->addWidget(textTittle_, 0, 1, 1, 3);
  grid->addWidget(rangeLabel, 1, 0, 1, 4);
  grid->addWidget(textIP_, 2, 0, 1, 2);
  grid->addWidget(command3_, 2, 2);
  grid->addWidget(textIP2_, 2, 3);
  grid->addWidget(command1_, 3, 1);
  grid->addWidget(command4_, 3, 2);
  grid->addWidget(command2_, 3, 3);
  grid->addWidget(status_, 4, 0, 1, 4);
  setMinimumWidth(Px(5600));

  connect(command3_, &QPushButton::clicked, this, &FormAddIPR::Command3_Click);
  connect(command4_, &QPushButton::clicked, this, &FormAddIPR::Command4_Click);
  connect(textIP_, &QLineEdit::returnPressed, this, [this] {
    textIP2_->setFocus(Qt::OtherFocusReason);
    selectEnd();
  });
  connect(textIP2_, &QLineEdit::returnPressed, this, &FormAddIPR::Command1_Click);
}

void FormAddIPR::showFields(bool edit) {
  if (!edit) textTittle_->setText(QStringLiteral("IP_Range_"));
  if (!exchange_.PresetRangeFirst.empty()) {
    textIP_->setText(TextOfBytes(exchange_.PresetRangeFirst));
    textIP2_->setText(TextOfBytes(exchange_.PresetRangeLast));
    exchange_.PresetRangeFirst.clear();
    exchange_.PresetRangeLast.clear();
  } else if (!exchange_.EditOriginal.empty()) {
    const std::string& line = exchange_.EditOriginal;
    const ListEntry entry = parseListEntry(line);
    textTittle_->setText(TextOfBytesLike(line, entry.title));
    textIP_->setText(TextOfBytesLike(line, entry.first()));
    textIP2_->setText(TextOfBytesLike(line, entry.last()));
  }
}

void FormAddIPR::selectEnd() { textIP2_->setSelection(0, 55); }

bool FormAddIPR::eventFilter(QObject* watched, QEvent* event) {
  if (watched == textIP2_) {
    if (event->type() == QEvent::FocusIn && TrimBlanks(BytesOfText(textIP2_->text())).empty()) {
      // The start address is offered selected, so typing the end replaces it.
      textIP2_->setText(TrimBlanksOf(textIP_->text()));
      selectEnd();
      // A click places the cursor after the focus came: select again then.
      selectAfterClick_ = static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason;
    } else if (event->type() == QEvent::FocusOut) {
      selectAfterClick_ = false;
    } else if (event->type() == QEvent::MouseButtonRelease && selectAfterClick_) {
      selectAfterClick_ = false;
      if (!textIP2_->hasSelectedText()) selectEnd();
    }
  }
  return ListEntryDialog::eventFilter(watched, event);
}

bool FormAddIPR::checkedEnds(std::string* first, std::string* last) {
  *first = CheckRangeIP(BytesOfText(textIP_->text()));
  if (first->empty()) {
    ShowIPError(prompter_, QStringLiteral(
                               "Invalid IP entry, Please check IP Field 1, Cannot enter URL.   "));
    textIP_->setFocus(Qt::OtherFocusReason);
    return false;
  }
  *last = CheckRangeIP(BytesOfText(textIP2_->text()));
  if (last->empty()) {
    ShowIPError(prompter_, QStringLiteral(
                               "Invalid IP entry, Please check IP Field 2, Cannot enter URL.   "));
    textIP2_->setFocus(Qt::OtherFocusReason);
    return false;
  }
  return true;
}

void FormAddIPR::Command1_Click() {
  if (!AcceptTitle(prompter_, *textTittle_)) return;
  std::string first, last;
  if (!checkedEnds(&first, &last)) return;
  result_ = {DialogResult::Ending::Entered,
             ListEntry::range(TrimBlanks(BytesOfText(textTittle_->text())), first, last)};
  accept();
}

void FormAddIPR::Command4_Click() {
  std::string first, last;
  if (!checkedEnds(&first, &last)) return;
  result_ = {DialogResult::Ending::TestNow, ListEntry::range("IP_Range_Manual", first, last)};
  accept();
}

void FormAddIPR::Command3_Click() {
  textIP2_->setText(TrimBlanksOf(textIP_->text()));
  textIP2_->setFocus(Qt::OtherFocusReason);
  selectEnd();
}

}  // namespace sondrel
