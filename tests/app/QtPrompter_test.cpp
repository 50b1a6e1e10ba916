#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
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

TEST(QtPrompter, FilterPatternsJoinedBySemicolonsReachQtAsSeparatePatterns) {
  EXPECT_EQ(QtFileFilter(QStringLiteral("Text/CSV Files (*.txt;*.csv)")),
            QStringLiteral("Text/CSV Files (*.txt *.csv)"));
  EXPECT_EQ(QtFileFilter(QStringLiteral("Text Files (*.txt)")), QStringLiteral("Text Files (*.txt)"));
}

}  // namespace
}  // namespace sondrel
