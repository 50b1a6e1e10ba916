#pragma once
// The export format dialog: text, CSV, or CSV opened in the spreadsheet.

#include <QDialog>
#include <QString>

class QRadioButton;

namespace sondrel {

class DialogExport final : public QDialog {
  Q_OBJECT

 public:
  // `kind` is "PING", "SCAN" or "REPORT"; it chooses the first line's text.
  explicit DialogExport(const QString& kind, QWidget* parent = nullptr);

  // "TEXT", "CSV" or "EXCEL" after OK; "" after Cancel or close.
  QString format() const { return format_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QRadioButton* text_;
  QRadioButton* csv_;
  QString format_;
};

}  // namespace sondrel
