#pragma once
// The command utility's run history: command lines kept one per line in the
// data folder's history file, oldest first, and the fixed list of ready-made
// commands offered beside it.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/common/Result.h"

namespace sondrel {

class FileService;

// The ready-made commands, one for each job of the list, in the list's order.
// Each job is done by a program a plain desktop installation has where there
// is one (ss, ip neigh, getent, bash's own help); the others are named in
// DebianPackageFor, so the terminal says which package brings them.
inline constexpr std::array<std::string_view, 18> kReadyCommands = {
    "traceroute",   "ss",           "nmblookup -A",       "ip addr",       "ip -d addr show",
    "ip neigh",     "ip neigh show", "ip neigh flush all", "finger",        "ip route",
    "ping",         "mtr",          "lsattr",             "getent hosts",  "smbtree",
    "mount -t cifs", "smbstatus",   "bash -c help"};

// The lines of a new history file.
std::vector<std::string> DefaultHistoryLines();

// A history file as read: its lines trimmed of blanks up to the first empty
// one, and the bytes after that line. The tail is not loaded, but a file
// edited by hand keeps it through every rewrite.
struct HistoryFileContents {
  std::vector<std::string> lines;
  std::string tail;
  int tailLines = 0;  // lines of the tail holding more than blanks
};
HistoryFileContents ParseHistoryFile(std::string_view bytes);

// The bytes of a rewrite: each line and CR LF, the closing " " CR LF, then
// `tail` unchanged.
std::string FormatHistory(const std::vector<std::string>& lines, std::string_view tail = {});

// Puts a picked target list item into a command line: the target alone (its
// note left out), as one shell word (ShellWord), in the place of every
// occurrence of the word holding the line's first "." (an address or a host
// name; a quoted word counts as one), or after the command and a blank when
// it has no ".".
std::string InsertAddress(std::string_view command, std::string_view picked);

class CommandHistory {
 public:
  CommandHistory(FileService& files, std::string path);

  const std::string& path() const { return path_; }

  // (Re)reads the file, writing the default history first when there is no
  // file. An existing file, even an empty one, is never refilled. The sort
  // flag stays as it is.
  Result<void> LoadHistory();

  // The lines in file order, and in the order shown.
  const std::vector<std::string>& HistoryLines() const { return lines_; }
  const std::vector<std::string>& HistoryShown() const { return shown_; }
  bool HistorySorted() const { return sorted_; }
  // Lines after the file's first empty line at the last load.
  int TailLines() const { return tailLines_; }

  // Appends `command` unless an identical line (letter case counts) is
  // there; an empty command is ignored.
  Result<void> AddToHistory(const std::string& command);
  // Removes every line equal to one of `selected`, duplicates included.
  Result<void> DeleteSelectedHistory(const std::vector<std::string>& selected);
  // Keeps only the last `n` lines.
  Result<void> KeepLastHistory(int n);
  // Leaves an empty file behind.
  Result<void> DeleteAllHistory();
  // Sorted display, or back to file order (which reloads).
  Result<void> ToggleHistorySort();

 private:
  // Replaces the file with `kept` (and the file's own tail), then reloads.
  // On failure the old file stays and is reloaded.
  Result<void> rewrite(const std::vector<std::string>& kept);

  FileService& files_;
  std::string path_;
  std::vector<std::string> lines_;
  std::vector<std::string> shown_;
  bool sorted_ = false;
  int tailLines_ = 0;
};

}  // namespace sondrel
