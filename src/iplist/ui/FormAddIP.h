#pragma once
// Single target dialog: one IPv4 address or host name, kind "A".

#include <QDialog>

#include "iplist/DialogExchange.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace sondrel {

class IPrompter;

class FormAddIP final : public QDialog {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(FormAddIP)

 public:
  FormAddIP(DialogExchange& exchange, IPrompter& prompter, QWidget* parent = nullptr);

  // Prepares one showing from the exchange record (position, edit mode,
  // edited line, status line). The editing loop calls it before every showing.
  void activate();

  // How the last showing ended; reset by activate.
  const DialogResult& result() const { return result_; }

  QLineEdit* Text2() const { return text2_; }
  QPushButton* Command1() const { return command1_; }
  QPushButton* Command2() const { return command2_; }
  QPushButton* Command3() const { return command3_; }
  QLabel* Label2() const { return label2_; }

  void Command1_Click();  // Add / Save
  void Command2_Click();  // Exit
  void Command3_Click();  // Ping

  void reject() override;  // close box and Escape leave the dialog

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool checkedTarget(std::string* target);

  DialogExchange& exchange_;
  DialogResult result_;
  IPrompter& prompter_;
  QLineEdit* text2_;
  QPushButton* command1_;
  QPushButton* command2_;
  QPushButton* command3_;
  QLabel* label2_;
};

}  // namespace sondrel
