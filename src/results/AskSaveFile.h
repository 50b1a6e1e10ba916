#pragma once
// The save step shared by every export: the save dialog, then the overwrite
// question when the chosen file exists.

#include <QString>

namespace sondrel {

class IPrompter;

struct SaveFileRequest {
  QString title;        // the dialog's title
  QString defaultName;  // file name without extension
  QString extension;    // "txt" or "csv"
  QString startFolder;  // empty: the user's desktop folder
  QString filter;       // empty: the exports' "Text Files (*.EXT)"
};

// The chosen path with blanks trimmed, the extension added when the user
// typed none; "" when the dialog was cancelled or overwriting was declined.
// Nothing is created or deleted here: the exports replace the file in one step
// once their content is complete.
QString AskSaveFile(IPrompter& prompter, const SaveFileRequest& request);

// The user's desktop folder (home when there is none).
QString DesktopFolder();

}  // namespace sondrel
