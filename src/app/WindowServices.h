#pragma once
// The outside services the main window is given, which it hands on to each
// panel as that panel's own set. The composition root fills it with the real
// adapters; tests fill it with the fakes of tests/fakes.

#include <memory>

#include <QString>

#include "core/ports/Clock.h"
#include "core/ports/FileService.h"
#include "core/ports/HttpServer.h"
#include "core/ports/IcmpCarrier.h"
#include "core/ports/NetworkSettings.h"
#include "core/ports/Resolver.h"
#include "ports/KeepAwake.h"
#include "ports/Launcher.h"
#include "ports/Notifier.h"
#include "ports/ProcessService.h"
#include "ports/Prompter.h"

namespace sondrel {

class FileService;

struct WindowServices {
  std::shared_ptr<IClock> clock;
  std::shared_ptr<IIcmpCarrier> icmp;
  std::shared_ptr<IResolver> resolver;
  std::shared_ptr<INetworkSettings> network;
  std::shared_ptr<IPrompter> prompter;
  std::shared_ptr<ILauncher> launcher;
  std::shared_ptr<IKeepAwake> keepAwake;
  // The files of the data folder; outlives every holder (the program's own
  // service lives as long as the program).
  FileService* files = nullptr;
  // The programs the window starts (terminals, scan workers, the neighbour
  // table); the composition root gives the system's own.
  std::shared_ptr<ProcessService> processes;
  // The desktop's notifications (alerts); null: none.
  std::shared_ptr<INotifier> notifier;
  // Serves the run's metrics when the user's settings ask for it; null: none.
  std::shared_ptr<IHttpServer> httpServer;
};

}  // namespace sondrel
