#pragma once
// Range dialog: a title and the two ends of an address range, kind "C".

#include "iplist/ui/ListEntryDialog.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace sondrel {

class FormAddIPR final : public ListEntryDialog {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(FormAddIPR)

 public:
  FormAddIPR(DialogExchange& exchange, IPrompter& prompter, QWidget* parent = nullptr);

  QLineEdit* TextTittle() const { return textTittle_; }
  QLineEdit* TextIP() const { return textIP_; }
  QLineEdit* TextIP2() const { return textIP2_; }
  QPushButton* Command4() const { return command4_; }
  QLabel* Label1() const { return status_; }

  void Command1_Click() override;  // Add / Save
  void Command3_Click();           // copy the first address into the second field
  void Command4_Click();           // Scan IP

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showFields(bool edit) override;
  QLineEdit& focusBox() const override { return *textTittle_; }

 private:
  bool checkedEnds(std::string* first, std::string* last);
  // Selects the second field's text (its first 55 characters).
  void selectEnd();

  QLineEdit* textTittle_;
  QLineEdit* textIP_;
  QLineEdit* textIP2_;
  QPushButton* command4_;
  bool selectAfterClick_ = false;
};

}  // namespace sondrel
