#pragma once
// The real prompter: Qt message boxes and file dialogs over the active window.

#include <QPointer>
#include <QWidget>

#include "ports/Prompter.h"

namespace sondrel {

class QtPrompter final : public IPrompter {
 public:
  // Dialogs open over `parent` when set, else over the active window.
  explicit QtPrompter(QWidget* parent = nullptr) : parent_(parent) {}
  void setParent(QWidget* parent) { parent_ = parent; }

  Answer message(const QString& text, const QString& caption, Icon icon,
                 Buttons buttons = Buttons::Ok) override;
  QString saveFileName(const QString& caption, const QString& startPath,
                       const QString& filter) override;
  QString openFileName(const QString& caption, const QString& startFolder,
                       const QString& filter) override;
  QString inputText(const QString& text, const QString& caption, const QString& initial,
                    bool* ok) override;
  QString exportFormat(const QString& kind) override;

 private:
  QWidget* owner() const;
  QPointer<QWidget> parent_;
};

// A filter as Qt's file dialogs read it: patterns separated by ";" inside the
// parentheses ("Text/CSV Files (*.txt;*.csv)") are separated by blanks, as Qt
// takes a ";"-joined pair for one pattern that matches no file.
QString QtFileFilter(const QString& filter);

}  // namespace sondrel
