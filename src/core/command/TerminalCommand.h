#pragma once
// How a command line is handed to a terminal emulator so that the window
// stays open after the command ends, as a console the user closes himself.

#include <string>
#include <string_view>
#include <vector>

namespace sondrel {

// The terminals looked for, in order, after the one named by $TERMINAL.
inline constexpr const char* kTerminalCandidates[] = {"x-terminal-emulator", "gnome-terminal",
                                                      "konsole", "xterm"};

// The script the terminal's shell runs: the command given as its first
// argument, then the user's shell in its place. The command is never pasted
// into the script, so its quotes, ";", "$" and "#" mean what they mean to
// the shell, and a trailing "&" or comment cannot swallow the shell after it.
// The sbin folders are searched too, as the window's own runner does. When a
// second argument names the command's program and it cannot be found, the
// third (which says where to get it) is shown instead of the shell's bare
// "not found".
inline constexpr const char kTerminalScript[] =
    "case :$PATH: in *:/usr/sbin:*) ;; *) PATH=$PATH:/usr/sbin:/sbin ;; esac; "
    "if [ -z \"$2\" ] || command -v \"$2\" >/dev/null 2>&1; then eval \"$1\"; "
    "else printf '%s\\n' \"$3\"; fi; exec \"${SHELL:-sh}\"";

// The whole argument vector: `terminal` (a path) and its options, then
// sh -c SCRIPT sh COMMAND, with `command` as one argument, unchanged; then,
// when the command's program is one a desktop may lack, the program and the
// text naming its Debian package.
std::vector<std::string> TerminalArgv(const std::string& terminal, const std::string& command);

// The program a command line starts: its first word, past "sudo" and
// variable settings; "" when that word is not a plain program name.
std::string CommandProgram(std::string_view command);

// The Debian package holding `program`, for the network tools a plain
// desktop installation may lack; "" for any other program.
std::string_view DebianPackageFor(std::string_view program);

// What the terminal says when `program` is missing.
std::string MissingProgramText(std::string_view program, std::string_view package);

// `text` as one shell word: unchanged when it holds only letters, digits,
// ".", "-" and "_" (an address or a host name), else in single quotes.
std::string ShellWord(std::string_view text);

// The text telling that no terminal emulator was found.
std::string NoTerminalText();

}  // namespace sondrel
