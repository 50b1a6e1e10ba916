#pragma once
// The system's resolver (getaddrinfo/getnameinfo) behind IResolver.

#include <memory>

#include "core/ports/Resolver.h"

namespace sondrel {

std::shared_ptr<IResolver> SystemResolver();

}  // namespace sondrel
