// The main window's part in exports: the piece that does them gets the
// results on screen, and its actions take the Export, Open and File menu
// entries.

#include <QAction>
#include <QFrame>

#include "app/ui/FormMain.h"
#include "archive/ArchiveRecorder.h"
#include "archive/ui/RunsPresenter.h"
#include "command/ui/DosPanelPresenter.h"
#include "ping/ui/PingPanelPresenter.h"
#include "ping/PingRun.h"

namespace sondrel {

void FormMain::buildExport() {
  ResultsExport::Sources sources;
  sources.scanPanelShown = [this] { return picture3_->isVisibleTo(this); };
  sources.pingResults = [this]() -> const RunData* { return pingRun() ? &pingRun()->data() : nullptr; };
  sources.scanResults = [this] { return scanExportSource_ ? scanExportSource_() : ScanExportSource{}; };
  sources.runLog = [this] { return runLog(); };
  sources.archiveNote = [this](const RunData& run) {
    // What the archive's writer still holds is in before it is asked.
    if (archive_) (void)archive_->waitIdle(2000);
    return runs_ ? runs_->archiveNote(run) : QString();
  };
  sources.ipListFile = ipListFile_;
  sources.historyFile = commandHistoryFile_;
  export_ = new ResultsExport({services_.prompter, services_.launcher, services_.clock,
                               services_.files},
                              std::move(sources), this);

  dosPanel_->followImports(*export_);
  pingPanel_->followImports(*export_);
  connect(export_, &ResultsExport::neutralFocusWanted, this, &FormMain::focusNeutral);

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
