// The main window's part in exports: the piece that does them gets the
// results on screen, and its actions take the Export, Open and File menu
// entries.

#include <QAction>
#include <QFrame>

#include "app/ui/FormMain.h"
#include "command/ui/DosPanelPresenter.h"
#include "iplist/IPListStore.h"
#include "iplist/ui/TargetListPanel.h"
#include "ping/PingRun.h"

namespace sondrel {

void FormMain::buildExport() {
  ResultsExport::Sources sources;
  sources.scanPanelShown = [this] { return picture3_->isVisibleTo(this); };
  sources.pingResults = [this]() -> const RunData* { return pingRun() ? &pingRun()->data() : nullptr; };
  sources.scanResults = [this] { return scanExportSource_ ? scanExportSource_() : ScanExportSource{}; };
  sources.runLog = [this] { return runLog(); };
  sources.ipListFile = ipListFile_;
  sources.historyFile = commandHistoryFile_;
  export_ = new ResultsExport({services_.prompter, services_.launcher, services_.clock,
                               services_.files},
                              std::move(sources), this);

  connect(export_, &ResultsExport::historyReplaced, dosPanel_, &DosPanelPresenter::LoadHistory);
  connect(export_, &ResultsExport::neutralFocusWanted, this, &FormMain::focusNeutral);
  connect(export_, &ResultsExport::ipListReplaced, this, [this] {
    if (IPListStore* store = ipListStore()) {
      store->FillIPList();
      targetList_->showEntries(store->IPEntries());
    }
  });

  const std::pair<const char*, void (ResultsExport::*)()> entries[] = {
      {"mnuExport", &ResultsExport::ExportResults},   {"mnuOpen", &ResultsExport::OpenExportedFile},
      {"mnuExpImp_1", &ResultsExport::ExportIPList},  {"mnuExpImp_2", &ResultsExport::ImportIPList},
      {"mnuExpImp_4", &ResultsExport::ExportHistory}, {"mnuExpImp_5", &ResultsExport::ImportHistory},
  };
  for (const auto& [name, slot] : entries) {
    QAction* a = action(QString::fromLatin1(name));
    connect(a, &QAction::triggered, export_, slot);
    a->setEnabled(true);
  }
}

}  // namespace sondrel
