#include "platform/TempFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>

namespace sondrel {

std::string UniqueTemporaryName(const std::string& path) {
  static std::atomic<unsigned long> counter{0};
  return path + "." + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) +
         ".new";
}

bool SyncFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

}  // namespace sondrel
