#pragma once
// Hands work to the desktop: a file or URL to its default application, a
// command to a terminal window that stays open.

#include <QString>
#include <functional>

namespace sondrel {

class ILauncher {
 public:
  // The kind of application a saved file is shown in.
  enum class FileKind { TextEditor, Spreadsheet };

  virtual ~ILauncher() = default;
  virtual bool openUrl(const QString& urlOrPath) = 0;
  virtual bool openTerminal(const QString& command) = 0;
  // Opens the local file `path` in the user's default application of that
  // kind, the path handed over as one argument, without holding up the
  // caller while the desktop is asked which one that is. `done` is called
  // once, on this thread: false when no such application is set up or it
  // could not be started.
  virtual void openFile(FileKind kind, const QString& path, std::function<void(bool opened)> done) {
    (void)kind;
    done(openUrl(path));
  }
  // The path of the terminal emulator a command opens in: $TERMINAL, else
  // the first of kTerminalCandidates found; "" when there is none.
  virtual QString findTerminal() = 0;
};

}  // namespace sondrel
