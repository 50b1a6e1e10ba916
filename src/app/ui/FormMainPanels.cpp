// The main window's part in the command and scan panels: each presenter
// gets its views and the menu entries it answers.

#include <QAction>
#include <QMenu>

#include "app/ui/FormMain.h"
#include "app/ui/FormMainLayout.h"
#include "command/ui/DosPanelPresenter.h"
#include "iplist/IPListStore.h"
#include "iplist/ui/TargetListPanel.h"
#include "ping/PingRun.h"
#include "ping/ui/PingPanelPresenter.h"
#include "ping/ui/ResultsDisplay.h"
#include "scan/ui/ScanPanelPresenter.h"

namespace sondrel {


void FormMain::connectDosPanel() {
  dosPanel_->setViews(pictureDOS_, this, findChild<QMenu*>(QStringLiteral("mnuDeleteDos")));
  dosPanel_->setAddressSource([this] {
    return ipListStore() ? ipListStore()->ListIP2() : std::vector<std::string>{};
  });
  connect(dosPanel_, &DosPanelPresenter::addSingleWanted, this, [this] {
    if (QAction* add = action(QStringLiteral("mnuAddS"))) add->trigger();
  });
  connect(action(QStringLiteral("mnuCloseAllDOS")), &QAction::triggered, dosPanel_,
          &DosPanelPresenter::CloseAllTerminals);
  for (const char* name : {"mnuDos", "mnuCloseAllDOS", "mnuDeleteDos"})
    action(ProgramText(name))->setEnabled(true);
}

void FormMain::prepareScanGrid() {
  scanPresenter_ = new ScanPanelPresenter(
      {services_.resolver, services_.network, services_.prompter, services_.processes,
       services_.keepAwake, services_.clock},
      scanProgramPath_, this);
  ScanPanelPresenter::Views views;
  views.panel = scanPanel_;
  views.targetList = targetList_;
  views.addGroupMenu = findChild<QMenu*>(QStringLiteral("mnuAddG2"));
  views.titleLine = display_->LabelTittle2();
  scanPresenter_->setViews(views);
  ScanPanelPresenter* scan = scanPresenter_;
  setScanExportSource([scan] { return ScanExportSource{scan->scanTable(), scan->scanTotals()}; });
  connect(scan, &ScanPanelPresenter::scanPanelWanted, this, &FormMain::ShowScanPanel);
  connect(scan, &ScanPanelPresenter::neutralFocusWanted, this, &FormMain::focusNeutral);
  // A scan and a ping run never go together: while one goes, the other's
  // starts are refused.
  connect(scan, &ScanPanelPresenter::scanningChanged, this, [this](bool scanning) {
    pingPanel_->setOtherRunGoing(scanning);
    followRunState();
  });
  connect(pingPanel_, &PingPanelPresenter::testRunningChanged, scan, &ScanPanelPresenter::setOtherRunGoing);
  scan->setOtherRunGoing(pingPanel_->testRunning());
  // The scan's results become list entries through the ping panel's editor.
  connect(scan, &ScanPanelPresenter::newGroupWanted, pingPanel_, &PingPanelPresenter::addGroupOf);
  connect(scan, &ScanPanelPresenter::newRangeWanted, pingPanel_, &PingPanelPresenter::addRangeOf);
  connect(pingPanel_, &PingPanelPresenter::scanRequested, scan, &ScanPanelPresenter::StartScanOf);
  connect(action(QStringLiteral("mnuIpscanner")), &QAction::triggered, scan,
          &ScanPanelPresenter::StartScan);
  connect(action(QStringLiteral("mnuScanLocalIP")), &QAction::triggered, scan,
          &ScanPanelPresenter::ScanLocalSubnet);
  for (const char* mode : {"Active", "Inactive", "All"})
    connect(action(QStringLiteral("mnuAddG2") + ProgramText(mode)), &QAction::triggered, scan,
            [scan, mode] { scan->AddScanToNewGroup(ProgramText(mode)); });
  // A worker that cannot be written or started is told when a scan needs it.
  scanAvailable_ = true;
  for (const char* name : {"mnuScanLocalIP", "mnuAddG2"})
    action(ProgramText(name))->setEnabled(true);
  followRunState();
}

}  // namespace sondrel
