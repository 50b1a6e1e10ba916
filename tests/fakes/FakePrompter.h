#pragma once
#include <QList>
#include <QString>
#include <deque>
#include <functional>

#include "ports/Prompter.h"

namespace sondrel::fakes {

// Records every message box and dialog and answers from a queue set in
// advance; with the queue empty, message boxes answer their first button
// (Ok / Yes) and file dialogs are cancelled.
class FakePrompter final : public IPrompter {
 public:
  struct Call {
    QString kind;  // "message", "save", "open", "input", "export"
    QString text;
    QString caption;
    Icon icon = Icon::None;
    Buttons buttons = Buttons::Ok;
  };
  QList<Call> calls;
  std::deque<Answer> answers;
  std::deque<QString> paths;
  std::deque<QString> inputs;  // a null QString means "cancelled"
  std::deque<QString> formats;  // export formats; empty queue: cancelled
  // Runs on each message box, after it is recorded (e.g. to act while "modal").
  std::function<void(const Call&)> onMessage;

  Answer message(const QString& text, const QString& caption, Icon icon,
                 Buttons buttons) override {
    calls.push_back({"message", text, caption, icon, buttons});
    if (onMessage) onMessage(calls.back());
    if (!answers.empty()) {
      Answer a = answers.front();
      answers.pop_front();
      return a;
    }
    return buttons == Buttons::Ok || buttons == Buttons::OkCancel ? Answer::Ok : Answer::Yes;
  }
  QString saveFileName(const QString& caption, const QString& startPath,
                       const QString& filter) override {
    calls.push_back({"save", startPath + QStringLiteral("|") + filter, caption});
    return next(paths);
  }
  QString openFileName(const QString& caption, const QString& startFolder,
                       const QString& filter) override {
    calls.push_back({"open", startFolder + QStringLiteral("|") + filter, caption});
    return next(paths);
  }
  QString inputText(const QString& text, const QString& caption, const QString& initial,
                    bool* ok) override {
    calls.push_back({"input", text + QStringLiteral("|") + initial, caption});
    QString v = next(inputs);
    if (ok) *ok = !v.isNull();
    return v;
  }

  QString exportFormat(const QString& kind) override {
    calls.push_back({"export", kind, QStringLiteral(" Export")});
    return next(formats);
  }

  QList<Call> messages() const {
    QList<Call> out;
    for (const auto& c : calls)
      if (c.kind == QStringLiteral("message")) out.push_back(c);
    return out;
  }

 private:
  static QString next(std::deque<QString>& q) {
    if (q.empty()) return {};
    QString v = q.front();
    q.pop_front();
    return v;
  }
};

}  // namespace sondrel::fakes
