#pragma once
// Hands work to the desktop: a file or URL to its default application, a
// command to a terminal window that stays open.

#include <QString>

namespace sondrel {

class ILauncher {
 public:
  virtual ~ILauncher() = default;
  virtual bool openUrl(const QString& urlOrPath) = 0;
  virtual bool openTerminal(const QString& command) = 0;
  // The path of the terminal emulator a command opens in: $TERMINAL, else
  // the first of kTerminalCandidates found; "" when there is none.
  virtual QString findTerminal() = 0;
};

}  // namespace sondrel
