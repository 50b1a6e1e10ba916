#pragma once
// Group dialog: a title and a list of members, kind "B".

#include "iplist/ui/ListEntryDialog.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace sondrel {

class FormAddIPG final : public ListEntryDialog {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(FormAddIPG)

 public:
  // First line of the members box until the user types into it.
  static const QString& membersPlaceholder();

  FormAddIPG(DialogExchange& exchange, IPrompter& prompter, QWidget* parent = nullptr);

  QLineEdit* TextTittle() const { return textTittle_; }
  QPlainTextEdit* TextIPs() const { return textIPs_; }
  QPushButton* Command4() const { return command4_; }
  QToolButton* Image1() const { return image1_; }
  QFrame* Picture1() const { return picture1_; }
  QLabel* Label3() const { return status_; }

  void Command1_Click() override;  // Add / Save
  void Command3_Click();           // hide the help picture
  void Command4_Click();           // Ping
  void Image1_Click();             // show the help picture

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showFields(bool edit) override;
  QLineEdit& focusBox() const override { return *textTittle_; }

 private:
  enum class Check { Valid, Invalid, Untouched };
  Check checkedMembers(std::string* members);

  QLineEdit* textTittle_;
  QPlainTextEdit* textIPs_;
  QPushButton* command4_;
  QToolButton* image1_;
  QFrame* picture1_;
};

}  // namespace sondrel
