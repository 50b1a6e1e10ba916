#include "iplist/ui/ListEntryDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "iplist/ui/DialogCommon.h"

namespace sondrel {

using namespace listui;

ListEntryDialog::ListEntryDialog(DialogExchange& exchange, IPrompter& prompter, QWidget* parent,
                                 const QString& objectName, const QString& title)
    : QDialog(parent), exchange_(exchange), prompter_(prompter) {
  setModal(true);
  setObjectName(objectName);
  setWindowTitle(title);
}

void ListEntryDialog::activate() {
  PlaceAtAnchor(*this, exchange_);
  const bool edit = exchange_.EditMode;
  command1_->setText(TakeAddCaption(exchange_));
  showFields(edit);
  result_ = {};
  FocusAt(focusBox(), 99);
  ShowStatus(*status_, exchange_);
}

void ListEntryDialog::makeAddButton() {
  command1_ = MakeButton("Command1", QStringLiteral("Add to IP List"), this);
  connect(command1_, &QPushButton::clicked, this, &ListEntryDialog::Command1_Click);
}

void ListEntryDialog::makeExitButton() {
  command2_ = MakeButton("Command2", QStringLiteral("Exit"), this);
  connect(command2_, &QPushButton::clicked, this, &ListEntryDialog::Command2_Click);
}

void ListEntryDialog::makeStatusLine(const char* objectName) {
  status_ = new QLabel(this);
  status_->setObjectName(QString::fromLatin1(objectName));
}

void ListEntryDialog::Command2_Click() { reject(); }

void ListEntryDialog::reject() {
  result_.leave();
  QDialog::reject();
}

}  // namespace sondrel
