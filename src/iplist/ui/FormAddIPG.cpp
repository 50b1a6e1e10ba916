#include "iplist/ui/FormAddIPG.h"

#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/common/AddressHelpers.h"
#include "iplist/ui/DialogCommon.h"
#include "ports/Prompter.h"
#include "text/TextBytes.h"

namespace sondrel {

using namespace listui;

namespace {
const QString kDefaultTitle = QStringLiteral("IP_Group_");
}  // namespace

const QString& FormAddIPG::membersPlaceholder() {
  static const QString text = QStringLiteral(
      "Enter a group of ip/url at here:\n"
      "Example:\n"
      "192.168.1.10  (Host Name A)\n"
      "192.168.1.11  (Host Name B)\n"
      "192.168.1.15  (Host Name C)\n"
      "The host name in () is optional.");
  return text;
}

FormAddIPG::FormAddIPG(DialogExchange& exchange, IPrompter& prompter, QWidget* parent)
    : ListEntryDialog(exchange, prompter, parent, QStringLiteral("FormAddIPG"),
                      QStringLiteral(" Add a Group of IP Addresses:")) {
  auto* titleLabel = new QLabel(QStringLiteral("Tittle:"), this);
  titleLabel->setObjectName(QStringLiteral("Label1"));
  textTittle_ = new QLineEdit(kDefaultTitle, this);
  textTittle_->setObjectName(QStringLiteral("TextTittle"));
  auto* listLabel = new QLabel(QStringLiteral("IP List:"), this);
  listLabel->setObjectName(QStringLiteral("Label2"));
  textIPs_ = new QPlainTextEdit(membersPlaceholder(), this);
  textIPs_->setObjectName(QStringLiteral("TextIPs"));
  SetTextColour(*textIPs_, kPlaceholderGrey);
  textIPs_->installEventFilter(this);
  image1_ = new QToolButton(this);
  image1_->setObjectName(QStringLiteral("Image1"));
  image1_->setText(QStringLiteral("?"));
  image1_->setToolTip(QStringLiteral("Help"));
  makeAddButton();
  command4_ = MakeButton("Command4", QStringLiteral("Ping"), this);
  makeExitButton();
  makeStatusLine("Label3");

  // Help picture: how a group is entered, hidden until Image1 is clicked.
  picture1_ = new QFrame(this);
  picture1_->setObjectName(QStringLiteral("Picture1"));
  picture1_->setFrameShape(QFrame::Box);
  picture1_->setAutoFillBackground(true);
  auto* help = new QLabel(QStringLiteral(
                              "One ip address or url per line.\n"
                              "A note may follow in (), for example:\n"
                              "192.168.1.11  (Host Name B)\n"
                              "Press 'Ping' to test the group without saving it."),
                          picture1_);
  command3_ = MakeButton("Command3", QStringLiteral("Close"), picture1_);
  auto* helpLayout = new QVBoxLayout(picture1_);
  helpLayout->addWidget(help);
  helpLayout->addWidget(command3_, 0, Qt::AlignRight);
  picture1_->hide();

  auto* grid = new QGridLayout(this);
  grid->addWidget(titleLabel, 0, 0);
  grid->addWidget(textTittle_, 0, 1, 1, 2);
  grid->addWidget(image1_, 0, 3);
  grid->addWidget(listLabel, 1, 0, 1, 4);
  grid->addWidget(textIPs_, 2, 0, 1, 4);
  grid->addWidget(picture1_, 2, 0, 1, 4);
  grid->addWidget(command1_, 3, 1);
  grid->addWidget(command4_, 3, 2);
  grid->addWidget(command2_, 3, 3);
  grid->addWidget(status_, 4, 0, 1, 4);
  setMinimumSize(Px(5200), Px(4800));

  connect(command3_, &QPushButton::clicked, this, &FormAddIPG::Command3_Click);
  connect(command4_, &QPushButton::clicked, this, &FormAddIPG::Command4_Click);
  connect(image1_, &QToolButton::clicked, this, &FormAddIPG::Image1_Click);
}

void FormAddIPG::showFields(bool /*edit*/) {
  if (!exchange_.NewGroupMembers.empty()) {
    QString members = TextOfBytes(exchange_.NewGroupMembers);
    members.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    textIPs_->setPlainText(members);
    textTittle_->setText(kDefaultTitle);
    SetTextColour(*textIPs_, kDarkBlue);
    SetTextColour(*textTittle_, kDarkBlue);
    exchange_.NewGroupMembers.clear();
  } else if (!exchange_.EditOriginal.empty()) {
    const std::string& line = exchange_.EditOriginal;
    const ListEntry entry = parseListEntry(line);
    std::string members;
    for (const std::string& m : entry.members) members += (members.empty() ? "" : "\n") + m;
    textTittle_->setText(TextOfBytesLike(line, entry.title));
    textIPs_->setPlainText(TextOfBytesLike(line, members));
    SetTextColour(*textIPs_, kDarkBlue);
    SetTextColour(*textTittle_, kDarkBlue);
    exchange_.EditOriginal.clear();
  } else {
    textTittle_->setText(kDefaultTitle);
  }
}

bool FormAddIPG::eventFilter(QObject* watched, QEvent* event) {
  if (watched == textIPs_ && event->type() == QEvent::FocusIn &&
      textIPs_->toPlainText().startsWith(QStringLiteral("Enter"))) {
    textIPs_->clear();
    SetTextColour(*textIPs_, kDarkBlue);
  }
  return ListEntryDialog::eventFilter(watched, event);
}

// The members as one line, "m1,m2,...", each kept as typed (notes, inner
// blanks). Untouched when the placeholder is still there.
FormAddIPG::Check FormAddIPG::checkedMembers(std::string* members) {
  QString text = textIPs_->toPlainText();
  if (text.startsWith(QStringLiteral("ENTER"), Qt::CaseInsensitive)) return Check::Untouched;
  text = TrimBlanksOf(text);
  // Every line break separates two members.
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
  text.replace(u'\n', u',');
  if (text.isEmpty()) {
    ShowIPError(prompter_, QStringLiteral("Invalid IP entry, Please check.   "));
    textIPs_->setFocus(Qt::OtherFocusReason);
    return Check::Invalid;
  }
  if (text.endsWith(u',')) text.chop(1);
  const QStringList fields = text.split(u',');
  for (const QString& member : fields) {
    const std::string m = BytesOfText(member);
    QString offending;
    if (TrimBlanks(m).empty()) {
      offending = QString();
    } else if (CheckIP(StripNote(m)).empty()) {
      offending = TextOfBytes(LastCheckedIP());
    } else {
      continue;
    }
    ShowIPError(prompter_, QStringLiteral("Invalid IP entry '") + offending +
                               QStringLiteral("'.   "));
    textIPs_->setFocus(Qt::OtherFocusReason);
    return Check::Invalid;
  }
  *members = BytesOfText(text);
  return Check::Valid;
}

void FormAddIPG::Command1_Click() {
  if (!AcceptTitle(prompter_, *textTittle_)) return;
  std::string members;
  switch (checkedMembers(&members)) {
    case Check::Invalid:
      return;
    case Check::Untouched:
      accept();  // nothing entered: the loop shows the dialog again
      return;
    case Check::Valid:
      result_ = {DialogResult::Ending::Entered,
                 ListEntry::group(TrimBlanks(BytesOfText(textTittle_->text())),
                                  splitMembers(members))};
      accept();
      return;
  }
}

void FormAddIPG::Command4_Click() {
  std::string members;
  switch (checkedMembers(&members)) {
    case Check::Invalid:
      return;
    case Check::Untouched:
      accept();
      return;
    case Check::Valid:
      result_ = {DialogResult::Ending::TestNow, ListEntry::group("Manual", splitMembers(members))};
      accept();
      return;
  }
}

void FormAddIPG::Command3_Click() { picture1_->hide(); }

void FormAddIPG::Image1_Click() {
  picture1_->show();
  picture1_->raise();
}

}  // namespace sondrel
