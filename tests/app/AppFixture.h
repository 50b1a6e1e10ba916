#pragma once
// A main window built on fakes over a temporary data-folder base.

#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/WindowServices.h"
#include "app/ui/FormMain.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeIcmpCarrier.h"
#include "fakes/FakeKeepAwake.h"
#include "fakes/FakeLauncher.h"
#include "fakes/FakeNetworkSettings.h"
#include "fakes/FakeProcessService.h"
#include "fakes/FakePrompter.h"
#include "fakes/FakeNotifier.h"
#include "fakes/FakeResolver.h"
#include "ping/PingRun.h"
#include "ping/ui/ParameterFrame.h"
#include "platform/Files_linux.h"

namespace sondrel::testing {

struct FakeServices {
  std::shared_ptr<fakes::FakeClock> clock = std::make_shared<fakes::FakeClock>();
  std::shared_ptr<fakes::FakeIcmpCarrier> icmp = std::make_shared<fakes::FakeIcmpCarrier>();
  std::shared_ptr<fakes::FakeResolver> resolver = std::make_shared<fakes::FakeResolver>();
  std::shared_ptr<fakes::FakeNetworkSettings> network =
      std::make_shared<fakes::FakeNetworkSettings>();
  std::shared_ptr<fakes::FakePrompter> prompter = std::make_shared<fakes::FakePrompter>();
  std::shared_ptr<fakes::FakeLauncher> launcher = std::make_shared<fakes::FakeLauncher>();
  std::shared_ptr<fakes::FakeKeepAwake> keepAwake = std::make_shared<fakes::FakeKeepAwake>();
  std::shared_ptr<FileService> files;  // null: the real files of the temporary folders
  std::shared_ptr<fakes::FakeProcessService> processes = [] {
    auto p = std::make_shared<fakes::FakeProcessService>();
    // The neighbour table read after every scan: no entries.
    p->script("ip", {});
    return p;
  }();

  std::shared_ptr<fakes::FakeNotifier> notifier = std::make_shared<fakes::FakeNotifier>();
  // A real HTTP server where a test puts one in (the metrics); null: none.
  std::shared_ptr<IHttpServer> httpServer;

  WindowServices services() const {
    // The windows' files are real ones in a temporary folder unless a test
    // puts its own in.
    return {clock,     icmp, resolver, network, prompter, launcher, keepAwake,
            files ? files.get() : &SystemFiles(), processes, notifier, httpServer};
  }
};

// The data folder under `base`, made, with `list` as its IP list file;
// returns the folder's path with its trailing slash.
inline std::string DataFolderWithList(const QTemporaryDir& base, const std::string& list) {
  const std::string folder = base.path().toStdString() + "/SondrelDataBas/";
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "Tolvane_DB.txt", std::ios::binary) << list;
  return folder;
}

// Builds a FormMain on `base`; its exit handler only counts.
struct MainWindowUnderTest {
  explicit MainWindowUnderTest(const std::string& base, FakeServices f = {}) : fakes(std::move(f)) {
    window = std::make_unique<FormMain>(fakes.services(), base);
    window->setExitHandler([this] { ++exits; });
  }
  FakeServices fakes;
  std::unique_ptr<FormMain> window;
  int exits = 0;
};

// Runs of `w` test exactly these addresses, each labelled by itself.
inline void PingTheseTargets(FormMain& w, std::vector<std::string> addresses) {
  w.pingRun()->setTargetSource([addresses] {
    RunTargets t;
    t.addresses = addresses;
    t.labels = addresses;
    return t;
  });
}

// The fastest interval, chosen from its list as a user does.
inline void ChooseFastestInterval(FormMain& w) {
  QComboBox* interval = w.parameterFrame()->comboInv();
  interval->setCurrentIndex(0);
  Q_EMIT interval->activated(0);
}

// Pings `addresses` `pings` times through the Ping button; false when the
// run did not start or end within 10 s each.
inline bool PingThroughTheButton(FormMain& w, std::vector<std::string> addresses, int pings) {
  PingTheseTargets(w, std::move(addresses));
  w.parameterFrame()->comboTimes()->setEditText(QString::number(pings));
  QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("CommandStart")), Qt::LeftButton);
  return QTest::qWaitFor([&] { return w.testRunning(); }, 10000) &&
         QTest::qWaitFor([&] { return !w.testRunning(); }, 10000);
}

}  // namespace sondrel::testing
