#include "scan/ui/ScanPanelPresenter.h"

#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <utility>

#include "core/common/AddressHelpers.h"
#include "core/scan/ScanGridRules.h"
#include "core/ports/NetworkSettings.h"
#include "iplist/TargetSelection.h"
#include "iplist/ui/TargetListPanel.h"
#include "ports/KeepAwake.h"
#include "ports/Prompter.h"
#include "scan/ArpLookup.h"
#include "scan/ScanRun.h"
#include "scan/ui/ScanPanel.h"

namespace sondrel {

ScanPanelPresenter::ScanPanelPresenter(ScanPanelServices services, std::string workerPath, QObject* parent)
    : QObject(parent), services_(std::move(services)) {
  run_ = std::make_unique<ScanRun>(*services_.processes, std::move(workerPath));
  collector_ = new TargetCollector(services_.resolver, this);
  connect(collector_, &TargetCollector::finished, this, &ScanPanelPresenter::collected);
  progressTimer_.setSingleShot(true);
  progressTimer_.setInterval(16);
  connect(&progressTimer_, &QTimer::timeout, this, [this] {
    if (views_.panel) views_.panel->Text2()->setText(QString::fromStdString(run_->progressText()));
  });
  ScanRun* run = run_.get();
  connect(run, &ScanRun::testRunningChanged, this, &ScanPanelPresenter::scanningChanged);
  connect(run, &ScanRun::reportArrived, this, &ScanPanelPresenter::scheduleProgress);
  connect(run, &ScanRun::launchEnded, this, [this](int total) {
    if (views_.panel) views_.panel->LabelTotal()->setText(QString::number(total));
  });
  connect(run, &ScanRun::refreshRequested, this, &ScanPanelPresenter::onTick);
  connect(run, &ScanRun::finished, this, &ScanPanelPresenter::onFinished);
  // One message when the scan is over, with how many rows got no report.
  // Queued: a modal box must not run the event loop inside the run's own
  // handling of a worker's end.
  connect(run, &ScanRun::scanNote, this, &ScanPanelPresenter::warn, Qt::QueuedConnection);
}

ScanPanelPresenter::~ScanPanelPresenter() {
  if (awake_ && services_.keepAwake) services_.keepAwake->release();
}

void ScanPanelPresenter::setViews(const Views& views) {
  views_ = views;
  ScanPanel* panel = views_.panel;
  auto& buttons = panel->CmdShowScan();
  const char* modes[] = {"All", "Active", "Inactive"};
  for (int k = 0; k < 3; ++k)
    connect(buttons[k], &QPushButton::clicked, this,
            [this, mode = QString::fromLatin1(modes[k])] { ShowScanFilter(mode); });
  connect(buttons[3], &QPushButton::clicked, this, [this] {
    if (views_.addGroupMenu) views_.addGroupMenu->popup(QCursor::pos());
  });
  connect(panel->VScroll2(), &QScrollBar::valueChanged, this, [this] {
    run_->setUserScrolled(true);
    if (run_->scanFinished()) RefreshScanTable();
  });
}

bool ScanPanelPresenter::scanning() const { return collecting_ || run_->scanning(); }

void ScanPanelPresenter::StartScan() {
  if (scanning() || otherRunGoing_) return;
  Q_EMIT scanPanelWanted();
  ScanPanel* panel = views_.panel;
  panel->LabelTotal()->clear();
  panel->LabelActive()->clear();
  panel->LabelInactive()->clear();
  panel->Label9()->clear();
  if (views_.titleLine) views_.titleLine->clear();
  collecting_ = true;
  Q_EMIT scanningChanged(true);
  // The last scan's MAC completion must not write into the new table.
  if (lookup_) lookup_->cancel();
  // The grid of the last scan goes at once; the addresses come next.
  shown_.clear();
  showingFilter_ = false;
  panel->ClearScanTable();
  panel->setFilterButtonsVisible(false);
  {
    const QSignalBlocker quiet(panel->VScroll2());
    panel->VScroll2()->setRange(0, 0);
    panel->VScroll2()->setValue(0);
  }
  CollectRequest request = TestNowRequest(CollectPurpose::Scan, std::exchange(scanNow_, {}));
  views_.targetList->fillListState(request);
  collector_->start(std::move(request));
}

void ScanPanelPresenter::StartScanOf(const ListEntry& entry) {
  if (scanning() || otherRunGoing_) return;
  scanNow_ = entry;
  StartScan();
}

void ScanPanelPresenter::collected(const CollectResult& result) {
  if (!collecting_) return;
  collecting_ = false;
  if (result.markCurrentSelected) views_.targetList->selectCurrentItem();
  if (services_.prompter) {
    ReportUnresolved(result.targets, *services_.prompter);
    ReportTruncated(result.targets, *services_.prompter);
  }
  launch(result.targets.TargetAddresses);
}

void ScanPanelPresenter::launch(const std::vector<std::string>& addresses) {
  if (!run_->StartScan(addresses)) {
    Q_EMIT scanningChanged(false);
    return;
  }
  if (services_.keepAwake && !awake_) {
    services_.keepAwake->acquire();
    awake_ = true;
  }
  views_.panel->Text2()->setText(QString::fromStdString(run_->progressText()));
  views_.panel->LabelTotal()->setText(QString::number(addresses.size()));
  Q_EMIT neutralFocusWanted();
}

void ScanPanelPresenter::StopScan() {
  if (collecting_) {
    // Nothing was launched yet: the scan ends here.
    collecting_ = false;
    collector_->cancel();
    Q_EMIT scanningChanged(false);
    return;
  }
  if (run_->scanning()) run_->StopScan();
}

void ScanPanelPresenter::scheduleProgress() {
  if (!progressTimer_.isActive()) progressTimer_.start();
}

void ScanPanelPresenter::setupScroll(int count) {
  const ScanScrollRange range = ScanScrollFor(count);
  QScrollBar* bar = views_.panel->VScroll2();
  const QSignalBlocker quiet(bar);
  bar->setRange(range.minimum, range.maximum);
}

void ScanPanelPresenter::onTick() {
  // During the scan the grid follows the newest rows until the user scrolls.
  const int count = static_cast<int>(run_->table().size());
  setupScroll(count);
  if (!run_->userScrolled()) {
    const QSignalBlocker quiet(views_.panel->VScroll2());
    views_.panel->VScroll2()->setValue(views_.panel->VScroll2()->maximum());
  }
  RefreshScanTable();
  if (progressTimer_.isActive()) progressTimer_.stop();
}

void ScanPanelPresenter::RefreshScanTable() {
  ScanPanel* panel = views_.panel;
  const ScanTable& table = showingFilter_ ? shown_ : run_->table();
  QScrollBar* bar = panel->VScroll2();
  const ScanRowWindow window =
      ChooseScanWindow(bar->value(), static_cast<int>(table.size()), bar->maximum());
  panel->drawRows(table, window);
  const ScanCounters& n = run_->counters();
  panel->LabelActive()->setText(QString::number(n.active));
  panel->LabelInactive()->setText(QString::number(n.inactive));
  panel->Label9()->setText(QStringLiteral("/"));
  // The finish signal the run's ticks read.
  if (run_->reportedInFull()) run_->setProgressText("OK");
  panel->Text2()->setText(QString::fromStdString(run_->progressText()));
}

void ScanPanelPresenter::onFinished() {
  if (awake_ && services_.keepAwake) {
    services_.keepAwake->release();
    awake_ = false;
  }
  views_.panel->setFilterButtonsVisible(true);
  views_.panel->LabelTotal()->setText(QString::number(run_->counters().total));
  // A scan that ends at once has had no tick to set the scroll bar up.
  onTick();
  completeMacs();
}

void ScanPanelPresenter::completeMacs() {
  if (!services_.prompter || !services_.network || !services_.clock) return;
  if (!lookup_) {
    lookup_ = new ArpLookup(*services_.processes, *services_.prompter, *services_.network,
                            *services_.clock, this);
    connect(lookup_, &ArpLookup::tableChanged, this, [this] {
      run_->refreshFullCopy();
      if (!showingFilter_) RefreshScanTable();
    });
    connect(lookup_, &ArpLookup::finished, this, [this](const QString& line) {
      if (!line.isEmpty() && views_.panel) views_.panel->Text2()->setText(line);
    });
  }
  lookup_->ScanStartSeconds = run_->startSeconds();
  lookup_->RunArpLookup(run_->table());
}

void ScanPanelPresenter::ShowScanFilter(const QString& mode) {
  const ScanTable& full = run_->fullCopy();
  if (full.empty()) return;
  run_->setScanFinished(false);
  shown_ = FilterScan(full, mode.toStdString());
  showingFilter_ = true;
  setupScroll(static_cast<int>(shown_.size()));
  {
    const QSignalBlocker quiet(views_.panel->VScroll2());
    views_.panel->VScroll2()->setValue(views_.panel->VScroll2()->minimum());
  }
  RefreshScanTable();
  run_->setScanFinished(true);
}

void ScanPanelPresenter::warn(const QString& text) {
  if (services_.prompter)
    services_.prompter->message(text, QString::fromLatin1(kApplicationTitle),
                                IPrompter::Icon::Warning);
}

void ScanPanelPresenter::AddScanToNewGroup(const QString& mode) {
  const ScanTable& full = run_->fullCopy();
  if (full.empty()) {
    warn(QStringLiteral("No IP for add.   "));
    return;
  }
  const std::string members = ScanGroupMembers(full, mode.toStdString());
  if (members.empty()) {
    warn(QStringLiteral("No ") + mode + QStringLiteral(" IP address to add ...     "));
    return;
  }
  Q_EMIT newGroupWanted(members);
}

void ScanPanelPresenter::ScanLocalSubnet() {
  if (!services_.network) return;
  std::string address;
  for (const Adapter& adapter : services_.network->adapters()) {
    if (!adapter.address.empty()) {
      address = adapter.address;
      break;
    }
  }
  const std::string prefix = SubnetPrefix(address);
  Q_EMIT newRangeWanted(prefix + ".0", prefix + ".255");
}

const ScanTable& ScanPanelPresenter::scanTable() const {
  return run_->scanFinished() || !run_->fullCopy().empty() ? run_->fullCopy() : run_->table();
}

ScanTotals ScanPanelPresenter::scanTotals() const {
  ScanPanel* panel = views_.panel;
  if (!panel) return {};
  return {panel->LabelTotal()->text().toStdString(), panel->LabelActive()->text().toStdString(),
          panel->LabelInactive()->text().toStdString()};
}

}  // namespace sondrel
