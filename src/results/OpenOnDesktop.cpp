#include "results/OpenOnDesktop.h"

#include "platform/Launcher.h"
#include "platform/Prompter.h"
#include "results/AskSaveFile.h"
#include "results/ResultsExport.h"

namespace sondrel {

void OpenOnDesktop(ILauncher* launcher, IPrompter* prompter, const QString& path) {
  const bool spreadsheet = path.right(4).toUpper().contains(QStringLiteral("CSV"));
  const auto kind = spreadsheet ? ILauncher::FileKind::Spreadsheet : ILauncher::FileKind::TextEditor;
  if (launcher && launcher->openFile(kind, path)) return;
  if (!prompter) return;
  prompter->message(QStringLiteral("No %1 application is set up on this computer to open the file:")
                            .arg(spreadsheet ? QStringLiteral("spreadsheet")
                                             : QStringLiteral("text editor")) +
                        QStringLiteral("\r\n\r\n") + path,
                    QStringLiteral("Information"), IPrompter::Icon::Information);
}

void AskAndOpenResultsFile(ILauncher* launcher, IPrompter& prompter) {
  const QString path =
      prompter
          .openFileName(QString::fromLatin1(kOpenTitle), DesktopFolder(),
                        QString::fromLatin1(kOpenFilter))
          .trimmed();
  if (!path.isEmpty()) OpenOnDesktop(launcher, &prompter, path);
}

}  // namespace sondrel
