#pragma once
// Single target dialog: one IPv4 address or host name, kind "A".

#include "iplist/ui/ListEntryDialog.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace sondrel {

class FormAddIP final : public ListEntryDialog {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(FormAddIP)

 public:
  FormAddIP(DialogExchange& exchange, IPrompter& prompter, QWidget* parent = nullptr);

  void activate() override;

  QLineEdit* Text2() const { return text2_; }
  QLabel* Label2() const { return label2_; }

  void Command1_Click();  // Add / Save
  void Command3_Click();  // Ping

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool checkedTarget(std::string* target);

  QLineEdit* text2_;
  QLabel* label2_;
};

}  // namespace sondrel
