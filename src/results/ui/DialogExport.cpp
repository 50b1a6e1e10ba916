#include "results/ui/DialogExport.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

namespace sondrel {

namespace {

QString FirstLine(const QString& kind) {
  if (kind == QStringLiteral("PING")) return QStringLiteral("Export the ping test results to the");
  if (kind == QStringLiteral("REPORT")) return QStringLiteral("Export the summary report to the");
  return QStringLiteral("Export the ip scan test results to the");
}

}  // namespace

DialogExport::DialogExport(const QString& kind, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("DialogExport"));
  setWindowTitle(QStringLiteral(" Export"));
  setModal(true);

  auto* label1 = new QLabel(FirstLine(kind), this);
  label1->setObjectName(QStringLiteral("Label1"));
  auto* label2 = new QLabel(QStringLiteral("following formats:"), this);
  label2->setObjectName(QStringLiteral("Label2"));
  text_ = new QRadioButton(QStringLiteral("Text"), this);
  text_->setObjectName(QStringLiteral("Option1"));
  text_->setChecked(true);
  csv_ = new QRadioButton(QStringLiteral("CSV / Excel"), this);
  csv_->setObjectName(QStringLiteral("Option2"));
  auto* excel = new QRadioButton(QStringLiteral("Excel"), this);
  excel->setObjectName(QStringLiteral("Option3"));

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("OKButton"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("CancelButton"));

  connect(ok, &QPushButton::clicked, this, [this] {
    format_ = text_->isChecked()  ? QStringLiteral("TEXT")
              : csv_->isChecked() ? QStringLiteral("CSV")
                                  : QStringLiteral("EXCEL");
    accept();
  });
  connect(cancel, &QPushButton::clicked, this, [this] {
    format_.clear();
    reject();
  });

  auto* options = new QVBoxLayout;
  options->addWidget(text_);
  options->addWidget(csv_);
  options->addWidget(excel);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addStretch();
  auto* row = new QHBoxLayout;
  row->addLayout(options, 1);
  row->addLayout(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label1);
  layout->addWidget(label2);
  layout->addLayout(row);
}

void DialogExport::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Centred on the screen, not on the window that opened it.
  if (const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }
}

}  // namespace sondrel
