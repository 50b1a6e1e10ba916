#include "iplist/ui/FormAddIP.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "core/common/AddressHelpers.h"
#include "iplist/ui/DialogCommon.h"
#include "ports/Prompter.h"
#include "text/TextBytes.h"

namespace sondrel {

using namespace listui;

namespace {
const QString kPlaceholder = QStringLiteral("0.  0.  0.  0");
}  // namespace

FormAddIP::FormAddIP(DialogExchange& exchange, IPrompter& prompter, QWidget* parent)
    : ListEntryDialog(exchange, prompter, parent, QStringLiteral("FormAddIP"),
                      QStringLiteral(" Add Single IP")) {
  auto* caption = new QLabel(QStringLiteral("Add a IP or URL to the List:"), this);
  caption->setObjectName(QStringLiteral("Label1"));
  text2_ = new QLineEdit(kPlaceholder, this);
  text2_->setObjectName(QStringLiteral("Text2"));
  SetTextColour(*text2_, kPlaceholderGrey);
  text2_->installEventFilter(this);
  makeAddButton();
  command3_ = MakeButton("Command3", QStringLiteral("Ping"), this);
  makeExitButton();
  makeStatusLine("Label2");

  auto* grid = new QGridLayout(this);
  grid->addWidget(caption, 0, 0, 1, 3);
  grid->addWidget(text2_, 1, 0, 1, 3);
  grid->addWidget(command1_, 2, 0);
  grid->addWidget(command3_, 2, 1);
  grid->addWidget(command2_, 2, 2);
  grid->addWidget(status_, 3, 0, 1, 3);
  setMinimumWidth(Px(4800));

  connect(command3_, &QPushButton::clicked, this, &FormAddIP::Command3_Click);
  connect(text2_, &QLineEdit::returnPressed, this, &FormAddIP::Command1_Click);
}

void FormAddIP::showFields(bool /*edit*/) {
  if (!exchange_.EditOriginal.empty()) {
    text2_->setText(TextOfBytes(parseListEntry(exchange_.EditOriginal).title));
    SetTextColour(*text2_, kDarkBlue);
  }
}

bool FormAddIP::eventFilter(QObject* watched, QEvent* event) {
  if (watched == text2_ && event->type() == QEvent::FocusIn && text2_->text() == kPlaceholder) {
    text2_->clear();
    SetTextColour(*text2_, kDarkBlue);
  }
  return ListEntryDialog::eventFilter(watched, event);
}

// The target as stored: blanks dropped, line breaks too (they would split the
// stored line), otherwise as typed. A note in brackets may follow it; the
// target itself is an address or a name that a shell takes as one word, as
// the command panel puts it into command lines. False after telling the
// user it is invalid.
bool FormAddIP::checkedTarget(std::string* target) {
  QString text = text2_->text();
  text.remove(u' ').remove(u'\r').remove(u'\n');
  const std::string name = StripNote(BytesOfText(text));
  const std::string checked = CheckIP(name);
  const QString shown = TextOfBytes(name);
  const bool blank = std::any_of(shown.begin(), shown.end(), [](QChar c) { return c.isSpace(); });
  if (checked.empty() || (checked == NotAnAddress && (blank || UnsafeHostName(name)))) {
    ShowIPError(prompter_, QStringLiteral("Invalid IP entry, Please check.   "));
    text2_->setFocus(Qt::OtherFocusReason);
    return false;
  }
  *target = BytesOfText(text);
  return true;
}

void FormAddIP::Command1_Click() {
  std::string target;
  if (!checkedTarget(&target)) return;
  result_ = {DialogResult::Ending::Entered, ListEntry::single(std::move(target))};
  accept();
}

void FormAddIP::Command3_Click() {
  std::string target;
  if (!checkedTarget(&target)) return;
  result_ = {DialogResult::Ending::TestNow, ListEntry::single(std::move(target))};
  accept();
}

}  // namespace sondrel
