#include "scan/EmbeddedWorker.h"

extern "C" const std::byte sondrel_worker_begin[];
extern "C" const std::byte sondrel_worker_end[];

namespace sondrel {

std::span<const std::byte> EmbeddedWorker() {
  return {sondrel_worker_begin, static_cast<std::size_t>(sondrel_worker_end - sondrel_worker_begin)};
}

}  // namespace sondrel
