#include "results/ui/DialogExport.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace sondrel {
namespace {

QString ChooseAndPress(const char* kind, const char* option, const char* button,
                       QString* firstLine = nullptr) {
  DialogExport dialog(QString::fromLatin1(kind));
  if (firstLine)
    *firstLine = dialog.findChild<QLabel*>(QStringLiteral("Label1"))->text();
  if (option) dialog.findChild<QRadioButton*>(QString::fromLatin1(option))->setChecked(true);
  dialog.findChild<QPushButton*>(QString::fromLatin1(button))->click();
  return dialog.format();
}

TEST(DialogExportTest, OkGivesTheChosenFormatAndCancelNone) {
  EXPECT_EQ(ChooseAndPress("PING", nullptr, "OKButton"), QStringLiteral("TEXT"));
  EXPECT_EQ(ChooseAndPress("PING", "Option2", "OKButton"), QStringLiteral("CSV"));
  EXPECT_EQ(ChooseAndPress("SCAN", "Option3", "OKButton"), QStringLiteral("EXCEL"));
  EXPECT_EQ(ChooseAndPress("SCAN", "Option2", "CancelButton"), QString());
}

TEST(DialogExportTest, TheFirstLineNamesWhatIsExported) {
  QString line;
  ChooseAndPress("PING", nullptr, "CancelButton", &line);
  EXPECT_EQ(line, QStringLiteral("Export the ping test results to the"));
  ChooseAndPress("REPORT", nullptr, "CancelButton", &line);
  EXPECT_EQ(line, QStringLiteral("Export the summary report to the"));
  ChooseAndPress("SCAN", nullptr, "CancelButton", &line);
  EXPECT_EQ(line, QStringLiteral("Export the ip scan test results to the"));
  DialogExport dialog(QStringLiteral("PING"));
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral(" Export"));
}

}  // namespace
}  // namespace sondrel
