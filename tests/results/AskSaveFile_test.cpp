#include "results/AskSaveFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "fakes/FakePrompter.h"

namespace sondrel {
namespace {

using fakes::FakePrompter;

TEST(AskSaveFileTest, OffersTheNameAndFilterAndAddsTheExtensionTheUserLeftOut) {
  QTemporaryDir dir;
  FakePrompter prompter;
  prompter.paths.push_back(QStringLiteral("  ") + dir.filePath(QStringLiteral("out")) +
                           QStringLiteral(" "));
  const QString path = AskSaveFile(
      prompter, {QStringLiteral("Save IP Scan Results"), QStringLiteral("IP_Scan_Results_2612081005"),
                 QStringLiteral("csv"), dir.path()});
  EXPECT_EQ(path, dir.filePath(QStringLiteral("out.csv")));
  ASSERT_EQ(prompter.calls.size(), 1);
  EXPECT_EQ(prompter.calls[0].caption, QStringLiteral("Save IP Scan Results"));
  EXPECT_EQ(prompter.calls[0].text,
            dir.filePath(QStringLiteral("IP_Scan_Results_2612081005")) +
                QStringLiteral("|Text Files (*.csv)"));
}

TEST(AskSaveFileTest, CancelOrDecliningToOverwriteGivesNothingAndLeavesTheFile) {
  QTemporaryDir dir;
  const QString existing = dir.filePath(QStringLiteral("a.txt"));
  {
    QFile f(existing);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("old");
  }
  FakePrompter prompter;
  EXPECT_EQ(AskSaveFile(prompter, {QStringLiteral("t"), QStringLiteral("n"), QStringLiteral("txt"),
                                   dir.path()}),
            QString());

  prompter.paths.push_back(existing);
  prompter.answers.push_back(IPrompter::Answer::No);
  EXPECT_EQ(AskSaveFile(prompter, {QStringLiteral("t"), QStringLiteral("n"), QStringLiteral("txt"),
                                   dir.path()}),
            QString());
  ASSERT_EQ(prompter.messages().size(), 1);
  EXPECT_EQ(prompter.messages()[0].text, QStringLiteral("The same filename exist, overwrite it?"));
  EXPECT_EQ(prompter.messages()[0].caption, QStringLiteral("Information"));

  prompter.paths.push_back(existing);
  prompter.answers.push_back(IPrompter::Answer::Yes);
  EXPECT_EQ(AskSaveFile(prompter, {QStringLiteral("t"), QStringLiteral("n"), QStringLiteral("txt"),
                                   dir.path()}),
            existing);
  QFile f(existing);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("old"));
}

}  // namespace
}  // namespace sondrel
