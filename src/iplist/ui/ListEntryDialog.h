#pragma once
// What the three list dialogs share: the exchange record and the prompter
// they work with, how a showing ended, the Add, Exit and third buttons, the
// status line and the steps of preparing a showing.

#include <QDialog>

#include "iplist/DialogExchange.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace sondrel {

class IPrompter;

class ListEntryDialog : public QDialog {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(ListEntryDialog)

 public:
  // Prepares one showing from the exchange record: the position, the add
  // button's caption ("Save" for an edit), the dialog's own fields
  // (showFields), the focus on focusBox() and the status line. The editing
  // loop calls it before every showing.
  void activate();

  // How the last showing ended; reset by activate.
  const DialogResult& result() const { return result_; }

  QPushButton* Command1() const { return command1_; }
  QPushButton* Command2() const { return command2_; }
  QPushButton* Command3() const { return command3_; }

  virtual void Command1_Click() = 0;  // Add / Save
  void Command2_Click();              // Exit

  void reject() override;  // close box and Escape leave the dialog

 protected:
  ListEntryDialog(DialogExchange& exchange, IPrompter& prompter, QWidget* parent,
                  const QString& objectName, const QString& title);

  // Command1, "Add to IP List", which runs Command1_Click. Each dialog makes
  // it where its tab order has it.
  void makeAddButton();
  // Command2, "Exit".
  void makeExitButton();
  // The status line that activate fills from the exchange record.
  void makeStatusLine(const char* objectName);

  // Fills the dialog's own fields for one showing; `edit` when a stored
  // entry is being edited (the flag activate has consumed).
  virtual void showFields(bool edit) = 0;
  // The box that has the focus, cursor at its end, when the dialog shows.
  virtual QLineEdit& focusBox() const = 0;

  DialogExchange& exchange_;
  DialogResult result_;
  IPrompter& prompter_;
  QPushButton* command1_ = nullptr;
  QPushButton* command2_ = nullptr;
  QPushButton* command3_ = nullptr;
  QLabel* status_ = nullptr;
};

}  // namespace sondrel
