#include "platform/Priority_linux.h"

#include <cerrno>
#include <sys/resource.h>
#include <sys/types.h>

namespace sondrel {

bool LowerOwnPriority(int increment) {
  errno = 0;
  const int now = getpriority(PRIO_PROCESS, 0);
  if (errno != 0) return false;
  return setpriority(PRIO_PROCESS, 0, now + increment) == 0;
}

std::optional<int> ProcessNiceness(long pid) {
  errno = 0;
  const int niceness = getpriority(PRIO_PROCESS, static_cast<id_t>(pid));
  if (errno != 0) return std::nullopt;
  return niceness;
}

}  // namespace sondrel
