#pragma once
// The outside services every window and engine class is given. main() fills
// it with the real adapters; tests fill it with the fakes of tests/fakes.

#include <memory>

#include <QString>

#include "core/ports/Clock.h"
#include "core/ports/IcmpCarrier.h"
#include "platform/KeepAwake.h"
#include "platform/Launcher.h"
#include "core/ports/NetworkSettings.h"
#include "platform/Prompter.h"
#include "core/ports/Resolver.h"
#include "platform/ProcessService.h"

namespace sondrel {

struct Services {
  std::shared_ptr<IClock> clock;
  std::shared_ptr<IIcmpCarrier> icmp;
  std::shared_ptr<IResolver> resolver;
  std::shared_ptr<INetworkSettings> network;
  std::shared_ptr<IPrompter> prompter;
  std::shared_ptr<ILauncher> launcher;
  std::shared_ptr<IKeepAwake> keepAwake;
  // Null: the system's own (the window falls back to them).
  std::shared_ptr<ProcessService> processes;
};

}  // namespace sondrel
