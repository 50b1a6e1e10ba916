#include "platform/Memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace sondrel {

void AdviseLargePages(void* data, std::size_t bytes) {
  constexpr std::size_t kLargePage = std::size_t{2} << 20;
  if (!data || bytes < kLargePage) return;
  // madvise takes whole pages: the part of the block that starts and ends on one.
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (begin + page - 1) / page * page;
  const std::uintptr_t last = (begin + bytes) / page * page;
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

}  // namespace sondrel
