#pragma once
// The runs window: the archived runs in a table with a filter by target and
// by date, and the buttons that open, pin and delete them. Its wiring is in
// RunsPresenter.

#include <QWidget>

class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace sondrel {

class RunsWindow final : public QWidget {
  Q_OBJECT
 public:
  explicit RunsWindow(QWidget* parent = nullptr);

  QLineEdit* filterText() const { return filter_; }
  QCheckBox* fromOn() const { return fromOn_; }
  QDateEdit* from() const { return from_; }
  QCheckBox* toOn() const { return toOn_; }
  QDateEdit* to() const { return to_; }
  QTableView* table() const { return table_; }
  QPushButton* openButton() const { return open_; }
  QPushButton* pinButton() const { return pin_; }
  QPushButton* deleteButton() const { return delete_; }
  QPushButton* refreshButton() const { return refresh_; }
  QLabel* countLabel() const { return count_; }
  QLabel* noticeLabel() const { return notice_; }

 private:
  QLineEdit* filter_;
  QCheckBox* fromOn_;
  QDateEdit* from_;
  QCheckBox* toOn_;
  QDateEdit* to_;
  QTableView* table_;
  QPushButton* open_;
  QPushButton* pin_;
  QPushButton* delete_;
  QPushButton* refresh_;
  QLabel* count_;
  QLabel* notice_;
};

}  // namespace sondrel
