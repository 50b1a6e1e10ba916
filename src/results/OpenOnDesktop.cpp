#include "results/OpenOnDesktop.h"

#include "ports/Launcher.h"
#include "ports/Prompter.h"
#include "results/AskSaveFile.h"
#include "results/ResultsExport.h"

namespace sondrel {

void OpenOnDesktop(ILauncher* launcher, IPrompter* prompter, const QString& path) {
  const bool spreadsheet = path.right(4).toUpper().contains(QStringLiteral("CSV"));
  OpenOnDesktop(launcher, prompter, path,
                spreadsheet ? ILauncher::FileKind::Spreadsheet : ILauncher::FileKind::TextEditor);
}

void OpenOnDesktop(ILauncher* launcher, IPrompter* prompter, const QString& path, ILauncher::FileKind kind) {
  auto tell = [prompter, path, kind](bool opened) {
    if (opened || !prompter) return;
    prompter->message(QStringLiteral("No %1 application is set up on this computer to open the file:")
                              .arg(kind == ILauncher::FileKind::Spreadsheet ? QStringLiteral("spreadsheet")
                                                                            : QStringLiteral("text editor")) +
                          QStringLiteral("\r\n\r\n") + path,
                      QStringLiteral("Information"), IPrompter::Icon::Information);
  };
  if (launcher)
    launcher->openFile(kind, path, tell);
  else
    tell(false);
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
