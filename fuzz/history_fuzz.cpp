// The command history file on any bytes, and its rewrite: loading what was
// written gives the same lines and the same kept tail. Each line also goes
// through the address insertion the window applies to a picked command.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/command/CommandHistory.h"

using namespace sondrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const HistoryFileContents first = ParseHistoryFile(bytes);
  for (const std::string& line : first.lines) {
    if (line.empty() || line.front() == ' ' || line.back() == ' ') std::abort();
    const std::string put = InsertAddress(line, "127.0.0.1");
    if (put.find("127.0.0.1") == std::string::npos) std::abort();
  }

  const std::string written = FormatHistory(first.lines, first.tail);
  const HistoryFileContents second = ParseHistoryFile(written);
  if (second.lines != first.lines || second.tail != first.tail ||
      second.tailLines != first.tailLines)
    std::abort();
  // A second rewrite changes no byte.
  if (FormatHistory(second.lines, second.tail) != written) std::abort();
  return 0;
}
