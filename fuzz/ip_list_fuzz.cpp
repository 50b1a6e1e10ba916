// The list file loader on any bytes, and its rewrite: loading what was
// written gives the same entries and the same kept tail.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/iplist/IPListFile.h"

using namespace sondrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  IPListFileContents first = ParseIPListFile(bytes);
  (void)IsUtf8(bytes);
  for (const auto& e : first.entries) (void)EntryDisplayName(e);
  (void)ListIP2Items(first.entries);

  const std::string written = FormatIPList(first.entries, first.tail);
  IPListFileContents second = ParseIPListFile(written);
  if (second.tail != first.tail || second.tailLines != first.tailLines) std::abort();
  // Entries sharing a sort key may come back in another order; the set is what counts.
  std::sort(first.entries.begin(), first.entries.end());
  std::sort(second.entries.begin(), second.entries.end());
  if (second.entries != first.entries) std::abort();
  return 0;
}
