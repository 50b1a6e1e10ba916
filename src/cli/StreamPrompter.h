#pragma once
// The command line's prompter: messages to standard error, questions answered
// No (no one is asked on a terminal run), dialogs cancelled.

#include <cstdio>

#include "ports/Prompter.h"

namespace sondrel::cli {

// Messages of the engine go to standard error; nothing is asked on a terminal
// run, so a question is answered No.
class StreamPrompter final : public IPrompter {
 public:
  explicit StreamPrompter(std::FILE* err) : err_(err) {}
  Answer message(const QString& text, const QString&, Icon, Buttons buttons) override {
    std::fprintf(err_, "sondrel-cli: %s\n", text.toLocal8Bit().constData());
    return buttons == Buttons::Ok || buttons == Buttons::OkCancel ? Answer::Ok : Answer::No;
  }
  QString saveFileName(const QString&, const QString&, const QString&) override { return {}; }
  QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
  QString inputText(const QString&, const QString&, const QString&, bool* ok) override {
    if (ok) *ok = false;
    return {};
  }
  QString exportFormat(const QString&) override { return {}; }

 private:
  std::FILE* err_;
};

}  // namespace sondrel::cli
