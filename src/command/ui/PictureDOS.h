#pragma once
// The command utility's panel: the command line, the ready-made command and
// address pickers that drop over the history, the history list, the
// "add to list" box and the row of panel buttons. It only holds the
// widgets; DosPanelPresenter gives them their behaviour.

#include <QFrame>
#include <array>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace sondrel {

class PictureDOS final : public QFrame {
  Q_OBJECT
 public:
  explicit PictureDOS(QWidget* parent = nullptr);

  QLineEdit* TextCmd() const { return textCmd_; }
  QListWidget* ListCmd() const { return listCmd_; }
  QListWidget* ListIP2() const { return listIP2_; }
  QListWidget* ListDOSHis() const { return listDOSHis_; }
  QCheckBox* CheckAutoAdd() const { return checkAutoAdd_; }
  QPushButton* CommandDOS(int index) const { return commandDOS_.at(static_cast<std::size_t>(index)); }

  // Shows a picker list over the history, in front.
  void showPicker(QListWidget* list);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void placeControls();
  // Lays the six panel buttons out in rows from `top`; returns the top of
  // what comes below them.
  int placeButtonRows(int left, int top, int width);
  int buttonWidth(QPushButton* button) const;

  QLineEdit* textCmd_ = nullptr;
  QListWidget* listCmd_ = nullptr;
  QListWidget* listIP2_ = nullptr;
  QListWidget* listDOSHis_ = nullptr;
  QCheckBox* checkAutoAdd_ = nullptr;
  std::array<QPushButton*, 7> commandDOS_{};
};

}  // namespace sondrel
