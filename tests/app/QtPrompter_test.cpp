#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QTemporaryDir>
#include <fstream>
#include <functional>
#include <memory>
#include <QMessageBox>
#include <QTimer>

#include "app/ui/QtPrompter.h"

namespace sondrel {
namespace {

struct Seen {
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
};

// Waits (bounded) for the box to open, notes what it shows and presses `press`
// (or closes it with Escape when press is NoButton).
void AnswerNextBox(Seen* seen, QMessageBox::StandardButton press, int triesLeft = 200) {
  QTimer::singleShot(10, qApp, [=] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) {
      if (triesLeft > 0) AnswerNextBox(seen, press, triesLeft - 1);
      return;
    }
    *seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
    if (press == QMessageBox::NoButton)
      box->reject();
    else
      box->button(press)->click();
  });
}

TEST(QtPrompter, MessageBoxesShowTheirExactTextsIconsAndButtons) {
  using P = IPrompter;
  struct Case {
    P::Icon icon;
    P::Buttons buttons;
    QMessageBox::StandardButton press;
    QMessageBox::Icon shownIcon;
    QMessageBox::StandardButtons shownButtons;
    P::Answer answer;
  };
  const Case cases[] = {
      {P::Icon::Information, P::Buttons::Ok, QMessageBox::Ok, QMessageBox::Information,
       QMessageBox::Ok, P::Answer::Ok},
      {P::Icon::Critical, P::Buttons::Ok, QMessageBox::Ok, QMessageBox::Critical, QMessageBox::Ok,
       P::Answer::Ok},
      {P::Icon::Question, P::Buttons::YesNo, QMessageBox::No, QMessageBox::Question,
       QMessageBox::Yes | QMessageBox::No, P::Answer::No},
      {P::Icon::Question, P::Buttons::YesNo, QMessageBox::Yes, QMessageBox::Question,
       QMessageBox::Yes | QMessageBox::No, P::Answer::Yes},
      {P::Icon::Warning, P::Buttons::OkCancel, QMessageBox::NoButton, QMessageBox::Warning,
       QMessageBox::Ok | QMessageBox::Cancel, P::Answer::Cancel},
      {P::Icon::Question, P::Buttons::YesNoCancel, QMessageBox::Cancel, QMessageBox::Question,
       QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, P::Answer::Cancel},
  };
  QtPrompter prompter;
  for (const Case& c : cases) {
    Seen seen;
    AnswerNextBox(&seen, c.press);
    const P::Answer answer = prompter.message(
        QStringLiteral("Please click 'Stop' button to stop the testing first."),
        QStringLiteral("Test is Running.     "), c.icon, c.buttons);
    EXPECT_EQ(seen.title.toStdString(), "Test is Running.     ");
    EXPECT_EQ(seen.text.toStdString(), "Please click 'Stop' button to stop the testing first.");
    EXPECT_EQ(seen.icon, c.shownIcon);
    EXPECT_EQ(seen.buttons, c.shownButtons);
    EXPECT_EQ(answer, c.answer);
  }
}

// The exports ask their own question before replacing a file; the save
// dialog must not ask one too.
TEST(QtPrompter, SavingOverAnExistingFileAsksNothingOfItsOwn) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("old.txt"));
  std::ofstream(path.toStdString()) << "old";
  struct State {
    bool dialogSeen = false;
    QString boxText;
    bool done = false;
  };
  auto state = std::make_shared<State>();
  auto pollFn = std::make_shared<std::function<void(int)>>();
  *pollFn = [state, path, pollFn](int left) {
    QTimer::singleShot(10, qApp, [state, path, pollFn, left] {
      if (state->done) return;
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        state->boxText = box->text();
        box->button(QMessageBox::Yes)->click();
      } else if (auto* dialog = qobject_cast<QFileDialog*>(modal); dialog && !state->dialogSeen) {
        state->dialogSeen = true;
        dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
      }
      if (left > 0) (*pollFn)(left - 1);
    });
  };
  (*pollFn)(500);
  QtPrompter prompter;
  const QString chosen = prompter.saveFileName(QStringLiteral("Save"), dir.path(),
                                               QStringLiteral("Text Files (*.txt)"));
  state->done = true;
  *pollFn = nullptr;
  EXPECT_TRUE(state->dialogSeen);
  EXPECT_EQ(chosen, path);
  EXPECT_TRUE(state->boxText.isEmpty()) << "asked: " << state->boxText.toStdString();
}

TEST(QtPrompter, FilterPatternsJoinedBySemicolonsReachQtAsSeparatePatterns) {
  EXPECT_EQ(QtFileFilter(QStringLiteral("Text/CSV Files (*.txt;*.csv)")),
            QStringLiteral("Text/CSV Files (*.txt *.csv)"));
  EXPECT_EQ(QtFileFilter(QStringLiteral("Text Files (*.txt)")), QStringLiteral("Text Files (*.txt)"));
}

}  // namespace
}  // namespace sondrel
