// One stored list line: parsing and writing it back gives the line unchanged,
// and a written entry parses back to the same entry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/iplist/ListEntry.h"

using namespace sondrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const ListEntry entry = parseListEntry(line);
  (void)entry.first();
  (void)entry.last();
  const std::string written = formatListEntry(entry);
  // A line of one NUL byte has no kind letter and no text, like an empty
  // line; entries are only written from what the user types, never from it.
  if (written != line && line != std::string_view("\0", 1)) std::abort();
  const ListEntry again = parseListEntry(written);
  if (again.kind != entry.kind || again.title != entry.title || again.members != entry.members)
    std::abort();
  (void)splitMembers(line);
  return 0;
}
