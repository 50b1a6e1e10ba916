#include "core/iplist/ListEntry.h"

#include "core/common/AddressHelpers.h"

namespace sondrel {
namespace {
const std::string kNoField;

// A single target is one text, commas and all; every other kind is a title
// and fields.
bool hasFields(ListEntryKind kind) {
  return kind != ListEntryKind::Single && kind != ListEntryKind::None;
}
}  // namespace

const std::string& ListEntry::first() const {
  return members.size() > 0 ? members[0] : kNoField;
}

const std::string& ListEntry::last() const {
  return members.size() > 1 ? members[1] : kNoField;
}

ListEntry ListEntry::single(std::string target) {
  return {ListEntryKind::Single, std::move(target), {}};
}

ListEntry ListEntry::group(std::string title, std::vector<std::string> members) {
  return {ListEntryKind::Group, std::move(title), std::move(members)};
}

ListEntry ListEntry::range(std::string title, std::string first, std::string last) {
  return {ListEntryKind::Range, std::move(title), {std::move(first), std::move(last)}};
}

std::vector<std::string> splitMembers(std::string_view text) {
  std::vector<std::string> out;
  for (std::string_view f : SplitFields(text, ',')) out.emplace_back(f);
  return out;
}

ListEntry parseListEntry(std::string_view line) {
  ListEntry entry;
  if (line.empty()) return entry;
  entry.kind = static_cast<ListEntryKind>(line.front());
  const std::string_view body = line.substr(1);
  if (!hasFields(entry.kind)) {
    entry.title = std::string(body);
    return entry;
  }
  entry.members = splitMembers(body);
  entry.title = std::move(entry.members.front());
  entry.members.erase(entry.members.begin());
  return entry;
}

std::string formatListEntry(const ListEntry& entry) {
  if (entry.kind == ListEntryKind::None && entry.title.empty()) return {};
  std::string line(1, static_cast<char>(entry.kind));
  line += entry.title;
  if (!hasFields(entry.kind)) return line;
  for (const std::string& m : entry.members) {
    line += ',';
    line += m;
  }
  return line;
}

}  // namespace sondrel
