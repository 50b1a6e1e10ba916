// A /proc/net/route table of any text: every route found is a dotted address.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "core/common/AddressHelpers.h"
#include "platform/NetworkSettingsFiles.h"

using namespace sondrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  for (const auto& [iface, gateway] : DefaultRoutes(in)) {
    if (iface.empty() || CheckRangeIP(gateway) != gateway) std::abort();
  }
  return 0;
}
