#pragma once
// The system's resolver (getaddrinfo/getnameinfo) behind IResolver.

#include <cstddef>
#include <memory>

#include "core/ports/Resolver.h"

namespace sondrel {

std::shared_ptr<IResolver> SystemResolver();

// How long a reverse lookup may take before it is given up: the resolver's
// own time-out per try times its tries, plus a second (resolv.conf's
// `options timeout:` and `attempts:`, or RES_OPTIONS), never under 11 s,
// which a dead first name server and the default settings take.
int ReverseLookupPatienceMs();

// How many lookups may be in flight at once: each holds a socket, so the
// descriptors this process may open, less a margin for its own. Raises the
// soft descriptor limit to the hard one first.
std::size_t LookupsInFlightLimit();

}  // namespace sondrel
