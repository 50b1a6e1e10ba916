#pragma once
// Single target dialog: one IPv4 address or host name, kind "A".

#include "iplist/ui/ListEntryDialog.h"

class QLabel;
class QLineEdit;

namespace sondrel {

class FormAddIP final : public ListEntryDialog {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(FormAddIP)

 public:
  FormAddIP(DialogExchange& exchange, IPrompter& prompter, QWidget* parent = nullptr);

  QLineEdit* Text2() const { return text2_; }
  QLabel* Label2() const { return status_; }

  void Command1_Click() override;  // Add / Save
  void Command3_Click();           // Ping

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showFields(bool edit) override;
  QLineEdit& focusBox() const override { return *text2_; }

 private:
  bool checkedTarget(std::string* target);

  QLineEdit* text2_;
};

}  // namespace sondrel
