// The main window's help window, About box and picture-button icons.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "app/AppFixture.h"
#include "app/ui/Composition.h"
#include "help/ui/DialogHelp.h"

namespace sondrel {
namespace {

using testing::MainWindowUnderTest;

class FormMainHelpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base_.isValid());
    app_ = std::make_unique<MainWindowUnderTest>(base_.path().toStdString());
    app_->window->Form_Load();
  }
  FormMain& w() { return *app_->window; }

  QTemporaryDir base_;
  std::unique_ptr<MainWindowUnderTest> app_;
};

TEST_F(FormMainHelpTest, HelpOpensFromMenuAndButtonWithoutBlockingTheMainWindow) {
  QAction* howTo = w().action(QStringLiteral("mnuHowto"));
  ASSERT_NE(howTo, nullptr);
  EXPECT_TRUE(howTo->isEnabled());
  howTo->trigger();
  DialogHelp* first = w().helpWindow();
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->isVisible());
  EXPECT_FALSE(first->isModal());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_TRUE(w().isEnabled());

  // The button shares the entry's action; an open window is brought forward, not doubled.
  auto* button = w().findChild<QToolButton*>(QStringLiteral("Command12"));
  ASSERT_NE(button, nullptr);
  EXPECT_TRUE(button->isEnabled());
  first->CommandNext_Click();
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(w().helpWindow(), first);
  EXPECT_EQ(w().findChildren<DialogHelp*>().size(), 1);
  EXPECT_EQ(first->currentPage(), 2);

  // Closed with EXIT, it opens again on its first page.
  QTest::mouseClick(first->findChild<QAbstractButton*>(QStringLiteral("Command1")), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().helpWindow() == nullptr; }, 2000));
  howTo->trigger();
  ASSERT_NE(w().helpWindow(), nullptr);
  EXPECT_EQ(w().helpWindow()->currentPage(), 1);
  EXPECT_EQ(w().helpWindow()->findChild<QLabel*>(QStringLiteral("Label1"))->text(),
            QStringLiteral("1 of 7"));
}

TEST_F(FormMainHelpTest, AboutNamesCaptionVersionDataFolderAndLicence) {
  w().action(QStringLiteral("mnuAbout"))->trigger();
  const auto messages = app_->fakes.prompter->messages();
  ASSERT_EQ(messages.size(), 1);
  const std::string folder = base_.path().toStdString() + "/SondrelDataBas/";
  EXPECT_EQ(messages[0].text.toStdString(),
            " Network Connectivity Tester & Logger  8.23\n\n"
            "Version 8.23 of 2008.1.12\n"
            "Data folder: " + folder + "\n"
            "Licence: MIT License; no warranty of any kind.");
  EXPECT_EQ(messages[0].caption.toStdString(), "About");
  EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(w().Text402()));
}

// Every picture button shows a drawn icon that fills its box at 1x and 2x and
// fades when the button is disabled.
TEST_F(FormMainHelpTest, PictureButtonsCarryTheirIcons) {
  for (const char* name :
       {"Command3", "Command4", "Command5", "Command6", "Command7", "Command11", "Command12",
        "Command19", "CommandMonitor"}) {
    SCOPED_TRACE(name);
    auto* button = w().findChild<QToolButton*>(QString::fromLatin1(name));
    ASSERT_NE(button, nullptr);
    for (int side : {20, 40}) {
      const QImage normal = button->icon().pixmap(side, side).toImage();
      ASSERT_EQ(normal.size(), QSize(side, side));
      int opaque = 0;
      for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) opaque += qAlpha(normal.pixel(x, y)) > 200;
      EXPECT_GT(opaque, side * side / 5) << "at " << side;
      const QImage disabled = button->icon().pixmap(side, side, QIcon::Disabled).toImage();
      EXPECT_NE(disabled, normal);
    }
  }
}

// The window groups under the installed desktop entry and shows its icon.
TEST_F(FormMainHelpTest, WindowCarriesTheDesktopEntryNameAndIcon) {
  SetDesktopIdentity();
  EXPECT_EQ(QGuiApplication::desktopFileName().toStdString(), "org.example.sondrel");
  EXPECT_FALSE(w().windowIcon().isNull());
  EXPECT_FALSE(w().windowIcon().pixmap(48, 48).isNull());
}

}  // namespace
}  // namespace sondrel
