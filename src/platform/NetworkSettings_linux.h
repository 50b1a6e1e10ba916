#pragma once
// The machine's network settings read from the kernel and resolv.conf.

#include <memory>

#include "core/ports/NetworkSettings.h"

namespace sondrel {

std::shared_ptr<INetworkSettings> SystemNetworkSettings();

}  // namespace sondrel
