#include "app/ui/Composition.h"

#include <QApplication>

#include "app/ui/ButtonIcons.h"
#include "app/ui/DesktopLauncher.h"
#include "app/ui/FormMain.h"
#include "app/ui/QtPrompter.h"
#include "core/common/DataFolder.h"
#include "platform/Clock_linux.h"
#include "platform/Files_linux.h"
#include "platform/HttpServer_linux.h"
#include "platform/IcmpSocketCarrier_linux.h"
#include "platform/KeepAwakeDBus.h"
#include "platform/NotifierDBus.h"
#include "platform/Files_linux.h"
#include "platform/NetworkSettings_linux.h"
#include "platform/ProcessService_linux.h"
#include "ports/ProcessService.h"
#include "platform/Resolver_linux.h"

namespace sondrel {

WindowServices SystemServices() {
  WindowServices services;
  services.clock = std::make_shared<SystemClock>();
  services.icmp = SystemIcmpCarrier();
  services.resolver = SystemResolver();
  services.network = SystemNetworkSettings();
  services.keepAwake = std::make_shared<DBusKeepAwake>();
  services.prompter = std::make_shared<QtPrompter>();
  services.launcher = std::make_shared<DesktopLauncher>();
  services.files = &SystemFiles();
  services.processes = MakeProcessService();
  services.notifier = std::make_shared<DBusNotifier>();
  services.httpServer = MakeHttpServer();
  return services;
}

void SetDesktopIdentity() {
  // The desktop groups the window under the installed entry and its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.example.sondrel"));
  QApplication::setWindowIcon(ApplicationIcon());
}

int RunMainWindow(QApplication& app) {
  SetDesktopIdentity();
  FormMain w(SystemServices(), ApplicationDataFolder());
  if (!w.Form_Load()) return 1;  // another window has the data folder
  return app.exec();
}

}  // namespace sondrel
