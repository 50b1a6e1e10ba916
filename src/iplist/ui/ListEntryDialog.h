#pragma once
// What the three list dialogs share: the exchange record and the prompter
// they work with, how a showing ended, and the Add, Exit and third buttons.

#include <QDialog>

#include "iplist/DialogExchange.h"

class QPushButton;

namespace sondrel {

class IPrompter;

class ListEntryDialog : public QDialog {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(ListEntryDialog)

 public:
  // Prepares one showing from the exchange record (position, edit mode,
  // edited line, status line). The editing loop calls it before every showing.
  virtual void activate() = 0;

  // How the last showing ended; reset by activate.
  const DialogResult& result() const { return result_; }

  QPushButton* Command1() const { return command1_; }
  QPushButton* Command2() const { return command2_; }
  QPushButton* Command3() const { return command3_; }

  void Command2_Click();  // Exit

  void reject() override;  // close box and Escape leave the dialog

 protected:
  ListEntryDialog(DialogExchange& exchange, IPrompter& prompter, QWidget* parent);

  DialogExchange& exchange_;
  DialogResult result_;
  IPrompter& prompter_;
  QPushButton* command1_ = nullptr;
  QPushButton* command2_ = nullptr;
  QPushButton* command3_ = nullptr;
};

}  // namespace sondrel
