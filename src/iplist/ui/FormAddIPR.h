#pragma once
// Range dialog: a title and the two ends of an address range, kind "C".

#include <QDialog>

#include "iplist/DialogExchange.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace sondrel {

class IPrompter;

class FormAddIPR final : public QDialog {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(FormAddIPR)

 public:
  FormAddIPR(DialogExchange& exchange, IPrompter& prompter, QWidget* parent = nullptr);

  void activate();

  // How the last showing ended; reset by activate.
  const DialogResult& result() const { return result_; }

  QLineEdit* TextTittle() const { return textTittle_; }
  QLineEdit* TextIP() const { return textIP_; }
  QLineEdit* TextIP2() const { return textIP2_; }
  QPushButton* Command1() const { return command1_; }
  QPushButton* Command2() const { return command2_; }
  QPushButton* Command3() const { return command3_; }
  QPushButton* Command4() const { return command4_; }
  QLabel* Label1() const { return label1_; }

  void Command1_Click();  // Add / Save
  void Command2_Click();  // Exit
  void Command3_Click();  // copy the first address into the second field
  void Command4_Click();  // Scan IP

  void reject() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool checkedEnds(std::string* first, std::string* last);

  DialogExchange& exchange_;
  DialogResult result_;
  IPrompter& prompter_;
  QLineEdit* textTittle_;
  QLineEdit* textIP_;
  QLineEdit* textIP2_;
  QPushButton* command1_;
  QPushButton* command2_;
  QPushButton* command3_;
  QPushButton* command4_;
  QLabel* label1_;
};

}  // namespace sondrel
