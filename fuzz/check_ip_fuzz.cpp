// CheckIP and CheckRangeIP on any text: no crash, and what they give back is
// either nothing, the name marker, or a canonical address they give back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/common/AddressHelpers.h"

using namespace sondrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string ip = CheckIP(text);
  if (!ip.empty() && ip != NotAnAddress && CheckIP(ip) != ip) std::abort();
  const std::string range = CheckRangeIP(text);
  if (!range.empty() && CheckRangeIP(range) != range) std::abort();
  (void)IPSortKey(text);
  (void)StripNote(text);
  (void)SubnetPrefix(text);
  return 0;
}
