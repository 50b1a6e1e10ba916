#pragma once
// The scan worker program carried inside this executable.

#include <cstddef>
#include <span>

namespace sondrel {

std::span<const std::byte> EmbeddedWorker();

}  // namespace sondrel
