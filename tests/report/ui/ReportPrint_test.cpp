// Printing the report through the print path of the window, to a PDF file,
// and reading the text back: the PDF holds the rows of the text file.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <sstream>

#include "ReportTestSupport.h"
#include "support/SkipMissing.h"

namespace sondrel {
namespace {

// Blank runs (and TABs) as one blank: the PDF keeps words, not spacing.
std::string Words(const std::string& text) {
  std::string out;
  bool blank = false;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\f') {
      blank = !out.empty();
      continue;
    }
    if (c == '\n' || c == '\r') {
      if (!out.empty() && out.back() != '\n') out += '\n';
      blank = false;
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += c;
  }
  return out;
}

TEST(ReportPrintTest, APdfPrintHoldsTheRowsOfTheTextFile) {
  const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
  if (pdftotext.isEmpty()) SONDREL_SKIP_MISSING("pdftotext (poppler-utils) is not installed");
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString pdf = dir.filePath(QStringLiteral("report.pdf"));

  testing::ReportWindow w(testing::TwoTargetRun());
  int dialogs = 0;
  w.dialog->setPrintDialog([&](QPrinter& printer) {
    ++dialogs;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    return true;
  });
  // Nothing to print before Generate.
  QTest::mouseClick(w.dialog->findChild<QPushButton*>(QStringLiteral("CommandPrint")),
                    Qt::LeftButton);
  EXPECT_EQ(dialogs, 0);
  ASSERT_EQ(w.prompter->messages().size(), 1);
  EXPECT_EQ(w.prompter->messages()[0].text.toStdString(),
            "No report generated yet, click 'Generate' first.");

  w.dialog->ComboGroupBy()->setEditText(QStringLiteral("1"));
  QTest::mouseClick(w.dialog->findChild<QPushButton*>(QStringLiteral("CommandBUild")),
                    Qt::LeftButton);
  ASSERT_TRUE(w.dialog->report().has_value());
  QTest::mouseClick(w.dialog->findChild<QToolButton*>(QStringLiteral("Command4")), Qt::LeftButton);
  EXPECT_EQ(dialogs, 1);

  QProcess reader;
  reader.start(pdftotext, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
  ASSERT_TRUE(reader.waitForFinished(30000));
  ASSERT_EQ(reader.exitCode(), 0) << reader.readAllStandardError().toStdString();
  const std::string text = Words(reader.readAllStandardOutput().toStdString());

  // Every row of the text file, in order.
  const std::string rows[] = {
      "Test Time TTL Sent Lost Avg Time Loss Rate",
      "IP: 127.0.0.1",
      "03/07 14:05:09 - 03/07 14:05:40 64 2 0 13 ms 0.00 %",
      "03/07 14:06:01 - 03/07 14:06:01 64 1 0 20 ms 0.00 %",
      "IP: host.test / 127.0.0.2",
      "03/07 14:05:09 - 03/07 14:05:40 64 2 1 <1 ms 50.00 %",
      "03/07 14:06:01 - 03/07 14:06:01 0 1 1 --- 100.00 %",
  };
  std::size_t at = 0;
  for (const std::string& row : rows) {
    SCOPED_TRACE(row);
    const std::size_t found = text.find(row + "\n", at);
    ASSERT_NE(found, std::string::npos) << text;
    at = found + row.size();
  }
  // The same rows as the window's own text file.
  std::ostringstream file;
  ExportReportText(file, *w.dialog->report());
  EXPECT_NE(Words(file.str()).find(rows[2]), std::string::npos);
}

}  // namespace
}  // namespace sondrel
