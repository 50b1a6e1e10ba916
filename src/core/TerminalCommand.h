#pragma once
// How a command line is handed to a terminal emulator so that the window
// stays open after the command ends, as a console the user closes himself.

#include <string>
#include <vector>

namespace sondrel {

// The terminals looked for, in order, after the one named by $TERMINAL.
inline constexpr const char* kTerminalCandidates[] = {"x-terminal-emulator", "gnome-terminal",
                                                      "konsole", "xterm"};

// The script the terminal's shell runs: the command given as its first
// argument, then the user's shell in its place. The command is never pasted
// into the script, so its quotes, ";", "$" and "#" mean what they mean to
// the shell, and a trailing "&" or comment cannot swallow the shell after it.
inline constexpr const char kTerminalScript[] = "eval \"$1\"; exec \"${SHELL:-sh}\"";

// The whole argument vector: `terminal` (a path) and its options, then
// sh -c SCRIPT sh COMMAND, with `command` as one argument, unchanged.
std::vector<std::string> TerminalArgv(const std::string& terminal, const std::string& command);

// The text telling that no terminal emulator was found.
std::string NoTerminalText();

}  // namespace sondrel
