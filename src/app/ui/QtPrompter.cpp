#include "app/ui/QtPrompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

#include "results/ui/DialogExport.h"

namespace sondrel {

namespace {

QMessageBox::Icon ToQt(IPrompter::Icon icon) {
  switch (icon) {
    case IPrompter::Icon::Information: return QMessageBox::Information;
    case IPrompter::Icon::Warning: return QMessageBox::Warning;
    case IPrompter::Icon::Critical: return QMessageBox::Critical;
    case IPrompter::Icon::Question: return QMessageBox::Question;
    case IPrompter::Icon::None: break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToQt(IPrompter::Buttons buttons) {
  switch (buttons) {
    case IPrompter::Buttons::Ok: return QMessageBox::Ok;
    case IPrompter::Buttons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case IPrompter::Buttons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case IPrompter::Buttons::YesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
  }
  return QMessageBox::Ok;
}

}  // namespace

QWidget* QtPrompter::owner() const {
  if (parent_) return parent_.data();
  return QApplication::activeWindow();
}

IPrompter::Answer QtPrompter::message(const QString& text, const QString& caption, Icon icon,
                                      Buttons buttons) {
  QMessageBox box(ToQt(icon), caption, text, ToQt(buttons), owner());
  // Closing the box with Escape or its close button answers like its last button.
  switch (box.exec()) {
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Cancel: return Answer::Cancel;
    default: break;
  }
  switch (buttons) {
    case Buttons::Ok: return Answer::Ok;
    case Buttons::YesNo: return Answer::No;
    case Buttons::OkCancel:
    case Buttons::YesNoCancel: break;
  }
  return Answer::Cancel;
}

QString QtFileFilter(const QString& filter) {
  const qsizetype open = filter.lastIndexOf(QLatin1Char('('));
  if (open < 0 || !filter.endsWith(QLatin1Char(')'))) return filter;
  QString patterns = filter.mid(open);
  patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
  return filter.left(open) + patterns;
}

QString QtPrompter::saveFileName(const QString& caption, const QString& startPath,
                                 const QString& filter) {
  // Every export asks its own overwrite question (AskSaveFile): one is enough.
  return QFileDialog::getSaveFileName(owner(), caption, startPath, QtFileFilter(filter), nullptr,
                                      QFileDialog::DontConfirmOverwrite);
}

QString QtPrompter::openFileName(const QString& caption, const QString& startFolder,
                                 const QString& filter) {
  return QFileDialog::getOpenFileName(owner(), caption, startFolder, QtFileFilter(filter));
}

QString QtPrompter::inputText(const QString& text, const QString& caption,
                              const QString& initial, bool* ok) {
  bool accepted = false;
  QString value =
      QInputDialog::getText(owner(), caption, text, QLineEdit::Normal, initial, &accepted);
  if (ok) *ok = accepted;
  return accepted ? value : QString();
}

QString QtPrompter::exportFormat(const QString& kind) {
  DialogExport dialog(kind, owner());
  dialog.exec();
  return dialog.format();
}

}  // namespace sondrel
