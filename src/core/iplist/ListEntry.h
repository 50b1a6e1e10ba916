#pragma once
// One line of the stored target list as a typed entry. The kind letter comes
// first: "A" single target, "B" group (title, then members), "C" range
// (title, first and last address), fields separated by ",". The entry holds
// bytes as stored; decoding them is the window's business.

#include <string>
#include <string_view>
#include <vector>

namespace sondrel {

// The kind letter itself, so that a line of an unknown kind keeps its letter.
enum class ListEntryKind : char { None = '\0', Single = 'A', Group = 'B', Range = 'C' };

struct ListEntry {
  ListEntryKind kind = ListEntryKind::None;
  // Single: the whole rest of the line, as stored. Every other kind: field 0,
  // as stored (not trimmed).
  std::string title;
  // Every field after the title, empty ones included: a group's members, a
  // range's two ends (a hand-edited line may hold fewer or more, kept as
  // they are).
  std::vector<std::string> members;

  // The ends of a range, "" where the line has no such field.
  const std::string& first() const;
  const std::string& last() const;

  static ListEntry single(std::string target);
  static ListEntry group(std::string title, std::vector<std::string> members);
  static ListEntry range(std::string title, std::string first, std::string last);
};

// Parses one list line; an empty line is an entry of kind None.
ListEntry parseListEntry(std::string_view line);

// The line of an entry: formatListEntry(parseListEntry(line)) == line.
std::string formatListEntry(const ListEntry& entry);

// The members text as the group dialog takes it, "m1,m2,...", split into
// members the way a stored group line is.
std::vector<std::string> splitMembers(std::string_view text);

}  // namespace sondrel
