#include "ping/ui/PingPanelPresenter.h"

#include <QGuiApplication>
#include <QLabel>
#include <utility>

#include "iplist/IPListStore.h"
#include "iplist/TargetSelection.h"
#include "iplist/ui/IPListEditor.h"
#include "iplist/ui/TargetListPanel.h"
#include "ping/ScheduleCheck.h"
#include "ping/ui/ParameterFrame.h"
#include "ping/ui/ResultsDisplay.h"
#include "ping/ui/ScheduleFrame.h"
#include "results/ResultsExport.h"
#include "ports/Prompter.h"
#include "ping/RunLog.h"

namespace sondrel {

PingPanelPresenter::PingPanelPresenter(PingPanelServices services, QObject* parent)
    : QObject(parent),
      services_(std::move(services)),
      scheduleCheck_(std::make_unique<ScheduleCheck>(services_.clock, services_.keepAwake)) {}

PingPanelPresenter::~PingPanelPresenter() { endRun(); }

void PingPanelPresenter::setViews(const Views& views) {
  views_ = views;
  connect(views_.targetList, &TargetListPanel::startRequested, this, &PingPanelPresenter::startRun);

}

void PingPanelPresenter::endRun() { pingRun_.reset(); }

bool PingPanelPresenter::testRunning() const { return pingRun_ && pingRun_->testRunning(); }

void PingPanelPresenter::endSchedule() {
  scheduleCheck_->setArmed(false);
  scheduleCheck_->disable();
  views_.scheduleFrame->selectImmediately();
}

void PingPanelPresenter::makeRun(const std::string& dataFolder) {
  runLog_ = std::make_unique<RunLog>(dataFolder, *services_.files);
  pingRun_ = std::make_unique<PingRun>(
      PingRunServices{services_.clock, services_.icmp, services_.prompter, services_.keepAwake},
      params_, *runLog_);
  PingRun* run = pingRun_.get();
  // The run takes each changed set as a copy; nothing reads the lists' own.
  if (views_.parameterFrame)
    connect(views_.parameterFrame, &ParameterFrame::parametersChanged, run, &PingRun::setParameters);
  ResultsDisplay* d = views_.display;
  d->setRowSource([run](std::int64_t i) {
    const RunData& data = run->data();
    if (i < 0 || i >= static_cast<std::int64_t>(data.records.size())) return RowTexts{};
    const ResultRowTexts t = FormatResultRow(data, data.records[static_cast<std::size_t>(i)]);
    return RowTexts{QString::fromStdString(t.first), QString::fromStdString(t.second)};
  });
  run->setPastEndCheck([this] { return scheduleCheck_->checkEnd(); });

  connect(run, &PingRun::testRunningChanged, this, [this](bool running) {
    Q_EMIT testRunningChanged(running);
    views_.scheduleFrame->setTestRunning(running);
    views_.targetList->setRunActive(running);
  });
  connect(run, &PingRun::runPreparing, this, [this, d](const QString& title2) {
    Q_EMIT pingPanelWanted();
    d->paintRunning();
    d->LabelTittle2()->setText(title2);
    d->clearRows();
    d->clearStatistics();
    d->PingReport()->hide();
  });
  connect(run, &PingRun::titlesChanged, this, [d](const QString& title1, const QString& title2) {
    d->LabelTittle1()->setText(title1);
    d->LabelTittle2()->setText(title2);
  });
  connect(run, &PingRun::runStarted, this, [this, d](const QString&, const QString&, bool wide, int) {
    d->placeSecondColumn(wide);
    d->showStatisticsCaptions();
    Q_EMIT neutralFocusWanted();
  });
  run->addReader(this);
  connect(run, &PingRun::statisticsChanged, this, &PingPanelPresenter::showStatistics);
  connect(run, &PingRun::stopping, this, [this] {
    Q_EMIT stopEnabledChanged(false);
    endSchedule();
    Q_EMIT neutralFocusWanted();
  });
  connect(run, &PingRun::finished, this, [this, d] {
    Q_EMIT stopEnabledChanged(true);
    d->showLastPage();
  });
  connect(run, &PingRun::startAbandoned, this, [this] {
    // No finished() follows a start that never became a run: the window goes
    // back to idle here, and a scheduled start that found nothing ends the
    // schedule as a stopped run would.
    if (targetsReady_) {
      collector_->cancel();
      targetsReady_ = {};
    }
    testNow_ = {};  // a start given up before its collection tests nothing later
    Q_EMIT stopEnabledChanged(true);
    endSchedule();
  });
  connect(run, &PingRun::reportLinkVisible, this, [this, d, run](bool visible) {
    // A run stopped before its first result has nothing to report.
    d->PingReport()->setVisible(visible && run->rowCount() > 0 && !scheduleCheck_->awaitingStart());
  });
  connect(run, &PingRun::problem, this, [this](const QString& text) {
    if (services_.prompter)
      services_.prompter->message(text, QStringLiteral("Information"), IPrompter::Icon::Warning);
  });
  connect(run, &PingRun::reloadStarted, this, [this, d](const QString& title2) {
    d->LabelTittle2()->setText(title2);
    d->LabelTittle3()->show();
    if (!reloadCursor_) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    reloadCursor_ = true;
  });
  connect(run, &PingRun::reloadProgress, this,
          [d](qint64 remaining) { d->LabelTittle3()->setText(QString::number(remaining)); });
  connect(runLog_.get(), &RunLog::reloadFinished, this, [this, d] {
    d->LabelTittle3()->hide();
    if (reloadCursor_) QGuiApplication::restoreOverrideCursor();
    reloadCursor_ = false;
  });
  connect(run, &PingRun::previousRunLoaded, this, [d, run] { d->showReloadedRun(run->rowCount()); });

  connect(scheduleCheck_.get(), &ScheduleCheck::startRequested, this, [this] {
    scheduleCheck_->setArmed(true);
    // Refused while a scan goes, as a start while a run goes is.
    if (!otherRunGoing_) pingRun_->StartPingTest();
  });
  connect(scheduleCheck_.get(), &ScheduleCheck::awaitingStartChanged, this, [d](bool awaiting) {
    if (awaiting) d->PingReport()->hide();
  });
  connect(views_.scheduleFrame, &ScheduleFrame::scheduleShown, this, [this, d](const QString& title) {
    d->clearRows();
    d->clearStatistics();
    Q_EMIT pingPanelWanted();
    d->PingReport()->hide();
    d->LabelTittle2()->setText(title);
  });
  connect(views_.scheduleFrame, &ScheduleFrame::scheduleTitleCleared, this, [d] {
    if (d->LabelTittle2()->text().contains(QStringLiteral("Ping Test will auto run at")))
      d->LabelTittle2()->clear();
  });
}

void PingPanelPresenter::loadIPList(const std::string& dataFolder) {
  store_ = std::make_unique<IPListStore>(dataFolder, *services_.files, services_.network,
                                         services_.prompter);
  store_->FillIPList();
  views_.targetList->showEntries(store_->IPEntries());

  editor_ = new IPListEditor(services_.prompter, *store_, exchange_, *views_.targetList,
                             views_.window, this);
  connect(editor_, &IPListEditor::pingTestRequested, this, &PingPanelPresenter::startTestNow);
  connect(editor_, &IPListEditor::scanRequested, this, &PingPanelPresenter::scanRequested);
  connect(pingRun_.get(), &PingRun::testRunningChanged, editor_,
          [this](bool running) { editor_->setRunActive(running || otherRunGoing_); });
  editor_->setRunActive(pingRun_->testRunning() || otherRunGoing_);

  collector_ = new TargetCollector(services_.resolver, this);
  connect(collector_, &TargetCollector::finished, this, &PingPanelPresenter::pingTargetsCollected);
  pingRun_->setAsyncTargetSource(
      [this](PingRun::TargetsReady ready) { collectPingTargets(std::move(ready)); });
}

void PingPanelPresenter::followImports(ResultsExport& exporter) {
  connect(&exporter, &ResultsExport::ipListReplaced, this, [this] {
    if (!store_) return;
    store_->FillIPList();
    views_.targetList->showEntries(store_->IPEntries());
  });
}

void PingPanelPresenter::addGroupOf(const std::string& members) {
  if (!editor_) return;
  exchange_.NewGroupMembers = members;
  editor_->AddGroup();
}

void PingPanelPresenter::addRangeOf(const std::string& first, const std::string& last) {
  if (!editor_) return;
  exchange_.PresetRangeFirst = first;
  exchange_.PresetRangeLast = last;
  QCoreApplication::processEvents();
  editor_->AddRange();
}

void PingPanelPresenter::collectPingTargets(PingRun::TargetsReady ready) {
  CollectRequest request = TestNowRequest(CollectPurpose::PingTest, std::exchange(testNow_, {}));
  views_.targetList->fillListState(request);
  // Names resolve on the collector's threads; the window keeps painting and
  // takes Stop meanwhile. A new collection replaces one still under way.
  targetsReady_ = std::move(ready);
  collector_->start(std::move(request));
}

void PingPanelPresenter::pingTargetsCollected(const CollectResult& result) {
  if (!targetsReady_) return;
  if (result.markCurrentSelected) views_.targetList->selectCurrentItem();
  if (services_.prompter) {
    ReportUnresolved(result.targets, *services_.prompter);
    ReportTruncated(result.targets, *services_.prompter);
  }
  RunTargets targets;
  targets.addresses = result.targets.TargetAddresses;
  targets.labels = result.targets.TargetLabels;
  targets.groups = result.targets.TargetGroups;
  targets.longAddressFlag = result.targets.LongAddressFlag;
  targets.nothingToTest = result.nothingToTest;
  std::exchange(targetsReady_, {})(std::move(targets));
}

void PingPanelPresenter::resultAdded(std::int64_t row, const ResultRecord&, const EchoDetail&) {
  views_.display->ShowResultRow(row);
  views_.display->SetupScrollBar(row);
  Q_EMIT selectionPopupHideWanted();
}

void PingPanelPresenter::showStatistics(const RunStatistics& stats) {
  // A run that has sent nothing yet shows an empty column.
  if (stats.sent == 0)
    views_.display->clearStatistics();
  else
    views_.display->ShowRunStatistics(stats);
}

void PingPanelPresenter::setOtherRunGoing(bool going) {
  otherRunGoing_ = going;
  if (editor_) editor_->setRunActive(going || (pingRun_ && pingRun_->testRunning()));
}

void PingPanelPresenter::startRun() {
  if (!pingRun_ || pingRun_->testRunning() || otherRunGoing_) {
    // A refused start changes nothing: the running run keeps its scheduled end.
    return;
  }
  views_.scheduleFrame->selectImmediately();
  scheduleCheck_->setArmed(true);
  pingRun_->StartPingTest();
}

void PingPanelPresenter::startTestNow(const ListEntry& entry) {
  // Refused here, the entry is not kept to replace the next selection.
  if (!pingRun_ || pingRun_->testRunning() || otherRunGoing_) return;
  testNow_ = entry;
  startRun();
}

void PingPanelPresenter::stopRun() {
  if (!pingRun_) return;
  // With no run under way, Stop calls off a scheduled start still awaited,
  // as it ends the schedule of a run it stops.
  if (!pingRun_->testRunning()) {
    if (scheduleCheck_->scheduleSelected()) endSchedule();
    return;
  }
  pingRun_->StopPingTest();
}

}  // namespace sondrel
