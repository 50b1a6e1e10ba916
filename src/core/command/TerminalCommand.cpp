#include "core/command/TerminalCommand.h"

#include <algorithm>
#include <array>
#include <utility>

namespace sondrel {
namespace {

// Programs of the ready-made commands and of the usual network chores that a
// plain desktop installation does not bring, with the package to install.
constexpr std::array<std::pair<std::string_view, std::string_view>, 22> kPackages = {{
    {"arp", "net-tools"},
    {"arping", "iputils-arping"},
    {"dig", "bind9-dnsutils"},
    {"ethtool", "ethtool"},
    {"finger", "finger"},
    {"fping", "fping"},
    {"host", "bind9-host"},
    {"ifconfig", "net-tools"},
    {"mount.cifs", "cifs-utils"},
    {"mtr", "mtr-tiny"},
    {"netstat", "net-tools"},
    {"nmap", "nmap"},
    {"nmblookup", "samba-common-bin"},
    {"nslookup", "bind9-dnsutils"},
    {"route", "net-tools"},
    {"smbclient", "smbclient"},
    {"smbstatus", "samba"},
    {"smbtree", "smbclient"},
    {"telnet", "telnet"},
    {"tracepath", "iputils-tracepath"},
    {"traceroute", "traceroute"},
    {"whois", "whois"},
}};

bool PlainNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '.' || c == '-' || c == '_';
}

}  // namespace

std::vector<std::string> TerminalArgv(const std::string& terminal, const std::string& command) {
  const std::string name = terminal.substr(terminal.rfind('/') + 1);
  // gnome-terminal dropped -e for a command with arguments; the rest take -e
  // followed by the program and its arguments.
  std::vector<std::string> argv{terminal, name == "gnome-terminal" ? "--" : "-e"};
  argv.insert(argv.end(), {"sh", "-c", kTerminalScript, "sh", command});
  const std::string program = CommandProgram(command);
  const std::string_view package = DebianPackageFor(program);
  if (!package.empty()) argv.insert(argv.end(), {program, MissingProgramText(program, package)});
  return argv;
}

std::string CommandProgram(std::string_view command) {
  std::size_t pos = 0;
  while (true) {
    pos = command.find_first_not_of(" \t", pos);
    if (pos == std::string_view::npos) return {};
    std::size_t end = command.find_first_of(" \t", pos);
    if (end == std::string_view::npos) end = command.size();
    const std::string_view word = command.substr(pos, end - pos);
    pos = end;
    if (word == "sudo") continue;
    const std::size_t equals = word.find('=');
    if (equals != std::string_view::npos && equals > 0 &&
        std::all_of(word.begin(), word.begin() + static_cast<std::ptrdiff_t>(equals),
                    PlainNameCharacter))
      continue;
    if (!std::all_of(word.begin(), word.end(), PlainNameCharacter)) return {};
    return std::string(word);
  }
}

std::string_view DebianPackageFor(std::string_view program) {
  for (const auto& [name, package] : kPackages)
    if (name == program) return package;
  return {};
}

std::string MissingProgramText(std::string_view program, std::string_view package) {
  const std::string p(program);
  const std::string k(package);
  return p + " is not installed. It comes with the Debian package " + k +
         ": sudo apt install " + k;
}

std::string ShellWord(std::string_view text) {
  if (!text.empty() && std::all_of(text.begin(), text.end(), PlainNameCharacter))
    return std::string(text);
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  quoted += '\'';
  return quoted;
}

std::string NoTerminalText() {
  std::string tried;
  for (const char* name : kTerminalCandidates) tried += std::string(", ") + name;
  return "No terminal emulator was found to run the command in. Tried $TERMINAL" + tried +
         ". Install one of them, or set the environment variable TERMINAL to the terminal "
         "program to use.";
}

}  // namespace sondrel
