#pragma once
// Shows a saved results or report file in the user's own application, for
// the Open buttons of the main window and of the report window alike.

#include <QString>

#include "ports/Launcher.h"

namespace sondrel {

class IPrompter;

// A CSV file (its name's last four characters hold "CSV", in any case) goes
// to the spreadsheet, anything else to the text editor; when nothing can
// open it the user is told, with the path.
void OpenOnDesktop(ILauncher* launcher, IPrompter* prompter, const QString& path);
// The same in an application of the kind given. The prompter must outlive
// the desktop's answer.
void OpenOnDesktop(ILauncher* launcher, IPrompter* prompter, const QString& path, ILauncher::FileKind kind);
// Asks for a text or CSV file ("Open Log File") and opens it as above; a
// cancelled or blank answer does nothing.
void AskAndOpenResultsFile(ILauncher* launcher, IPrompter& prompter);

}  // namespace sondrel
