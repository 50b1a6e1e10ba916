// A resolv.conf of any text: every server listed is a dotted address, and
// the choice between configured and upstream servers returns one of them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "platform/NetworkSettingsFiles.h"

using namespace sondrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream in(text);
  const auto servers = ResolvConfNameServers(in);
  for (const auto& s : servers)
    if (s.empty() || s.size() > 15) std::abort();
  const std::vector<std::string> upstream{"192.0.2.53"};
  const auto chosen = ChooseNameServers(servers, upstream);
  if (chosen != servers && chosen != upstream) std::abort();
  (void)FormatMac(text);
  return 0;
}
