#include "core/TerminalCommand.h"

namespace sondrel {

std::vector<std::string> TerminalArgv(const std::string& terminal, const std::string& command) {
  const std::string name = terminal.substr(terminal.rfind('/') + 1);
  // gnome-terminal dropped -e for a command with arguments; the rest take -e
  // followed by the program and its arguments.
  std::vector<std::string> argv{terminal, name == "gnome-terminal" ? "--" : "-e"};
  argv.insert(argv.end(), {"sh", "-c", kTerminalScript, "sh", command});
  return argv;
}

std::string NoTerminalText() {
  std::string tried;
  for (const char* name : kTerminalCandidates) tried += std::string(", ") + name;
  return "No terminal emulator was found to run the command in. Tried $TERMINAL" + tried +
         ". Install one of them, or set the environment variable TERMINAL to the terminal "
         "program to use.";
}

}  // namespace sondrel
