#include "core/command/CommandHistory.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include "core/common/AddressHelpers.h"
#include "core/iplist/IPListFile.h"
#include "core/command/TerminalCommand.h"
#include "core/ports/FileService.h"

namespace sondrel {

std::vector<std::string> DefaultHistoryLines() {
  const std::string site1(kDefaultSite1);
  const std::string site2(kDefaultSite2);
  return {"traceroute " + site1,
          "traceroute " + site2,
          "ip addr",
          "hostname",
          "hostnamectl",
          "smbtree",
          "cp -r ~/test ~/test2",
          "netstat",
          "nslookup " + site2,
          "arp -a",
          "arp -d"};
}

HistoryFileContents ParseHistoryFile(std::string_view bytes) {
  HistoryFileContents file;
  std::size_t pos = 0;
  bool stopped = false;
  while (pos < bytes.size()) {
    const std::size_t end = bytes.find('\n', pos);
    const std::size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
    std::string_view raw = bytes.substr(pos, next - pos);
    if (!raw.empty() && raw.back() == '\n') raw.remove_suffix(1);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    pos = next;
    if (stopped) {
      if (raw.find_first_not_of(' ') != std::string_view::npos) ++file.tailLines;
      continue;
    }
    std::string line = TrimBlanks(raw);
    if (line.empty()) {
      stopped = true;
      file.tail = std::string(bytes.substr(pos));
      continue;
    }
    file.lines.push_back(std::move(line));
  }
  return file;
}

std::string FormatHistory(const std::vector<std::string>& lines, std::string_view tail) {
  // The history file is laid out as the IP list file is.
  return FormatIPList(lines, tail);
}

namespace {

// The word of `c` (blank-separated, as the shell reads it: a quoted part or
// a backslashed character does not end it) that holds position `at`.
std::string_view WordAt(std::string_view c, std::size_t at) {
  std::size_t i = 0;
  while (i < c.size()) {
    while (i < c.size() && c[i] == ' ') ++i;
    const std::size_t start = i;
    char quote = 0;
    for (; i < c.size(); ++i) {
      const char ch = c[i];
      if (quote) {
        if (ch == quote)
          quote = 0;
        else if (quote == '"' && ch == '\\' && i + 1 < c.size())
          ++i;
      } else if (ch == '\'' || ch == '"') {
        quote = ch;
      } else if (ch == '\\' && i + 1 < c.size()) {
        ++i;
      } else if (ch == ' ') {
        break;
      }
    }
    if (at >= start && at < i) return c.substr(start, i - start);
  }
  return {};
}

}  // namespace

std::string InsertAddress(std::string_view command, std::string_view picked) {
  // The note is for the list's reader; the command gets the target, quoted
  // when it holds anything a shell would read as more than a name.
  const std::string address = ShellWord(TrimBlanks(StripNote(picked)));
  const std::string c = TrimBlanks(command);
  const std::size_t dot = c.find('.');
  if (dot == std::string::npos) {
    if (c.empty()) return address;
    return c + " " + address;
  }
  const std::string token(WordAt(c, dot));
  if (token.empty()) return c;
  // One pass from the left, so an address that holds the word is not
  // replaced again.
  std::string out;
  std::size_t from = 0;
  for (std::size_t at = c.find(token); at != std::string::npos; at = c.find(token, from)) {
    out.append(c, from, at - from).append(address);
    from = at + token.size();
  }
  out.append(c, from, std::string::npos);
  return out;
}

CommandHistory::CommandHistory(FileService& files, std::string path)
    : files_(files), path_(std::move(path)) {}

Result<void> CommandHistory::LoadHistory() {
  lines_.clear();
  shown_.clear();
  tailLines_ = 0;
  const std::size_t slash = path_.rfind('/');
  const std::string folder = slash == std::string::npos ? "./" : path_.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
  // What a rewrite killed before its rename left behind.
  files_.removeStaleTemporaries(folder, name);
  if (!files_.fileExists(path_)) {
    // Whole or not at all: an existing file is never refilled, so a default
    // cut short here would stay cut.
    const std::string temp = files_.uniqueTempPath(folder, name);
    if (auto made = files_.writeNewFile(temp, FormatHistory(DefaultHistoryLines())); !made)
      return Error{made.error().code, "Cannot write " + path_ + ": " + std::strerror(made.error().code)};
    // A file put there since the check is kept.
    auto placed = files_.placeNewFile(temp, path_);
    files_.removeFile(temp);
    if (!placed && placed.error().code != EEXIST) return placed.error();
  }
  auto bytes = files_.readFile(path_);
  if (!bytes) return bytes.error();
  HistoryFileContents file = ParseHistoryFile(bytes.value());
  lines_ = std::move(file.lines);
  shown_ = lines_;
  tailLines_ = file.tailLines;
  return {};
}

Result<void> CommandHistory::rewrite(const std::vector<std::string>& kept) {
  // What stands after the file's first empty line goes back after ours.
  std::string tail;
  if (auto bytes = files_.readFile(path_)) tail = ParseHistoryFile(bytes.value()).tail;
  Result<void> written = files_.replaceFile(path_, FormatHistory(kept, tail));
  Result<void> loaded = LoadHistory();
  if (!written) return written;
  return loaded;
}

Result<void> CommandHistory::AddToHistory(const std::string& command) {
  if (command.empty()) return {};
  if (std::find(shown_.begin(), shown_.end(), command) != shown_.end()) return {};
  std::vector<std::string> kept = lines_;
  kept.push_back(command);
  return rewrite(kept);
}

Result<void> CommandHistory::DeleteSelectedHistory(const std::vector<std::string>& selected) {
  const std::set<std::string> gone(selected.begin(), selected.end());
  std::vector<std::string> kept;
  kept.reserve(lines_.size());
  for (const auto& line : lines_)
    if (!gone.count(line)) kept.push_back(line);
  return rewrite(kept);
}

Result<void> CommandHistory::KeepLastHistory(int n) {
  const std::size_t keep = n > 0 ? static_cast<std::size_t>(n) : 0;
  const std::size_t first = lines_.size() > keep ? lines_.size() - keep : 0;
  return rewrite(std::vector<std::string>(lines_.begin() + static_cast<std::ptrdiff_t>(first),
                                          lines_.end()));
}

Result<void> CommandHistory::DeleteAllHistory() {
  // No lines at all, not even the closing one: the file stays, so no default
  // is ever written into it again.
  Result<void> written = files_.replaceFile(path_, {});
  Result<void> loaded = LoadHistory();
  if (!written) return written;
  return loaded;
}

Result<void> CommandHistory::ToggleHistorySort() {
  if (sorted_) {
    sorted_ = false;
    return LoadHistory();
  }
  SortEntries(shown_);
  sorted_ = true;
  return {};
}

}  // namespace sondrel
