#pragma once
// The ping panel's wiring: the run and its log, the results display, the
// parameter and schedule frames with the schedule check, and the target list
// with its editor and collection. The main window gives it the views it has
// built and follows its signals for what belongs to the frame (the panel
// shown, the focus, the start and stop actions).

#include <QObject>
#include <QString>
#include <memory>
#include <string>

#include "core/ping/PingParameters.h"
#include "iplist/DialogExchange.h"
#include "ping/PingRun.h"

class QWidget;

namespace sondrel {

class FileService;
class IClock;
class IIcmpCarrier;
class IKeepAwake;
class INetworkSettings;
class IPListEditor;
class IPListStore;
class IPrompter;
class IResolver;
class ParameterFrame;
class ResultsDisplay;
class ResultsExport;
class RunLog;
class ScheduleCheck;
class ScheduleFrame;
class TargetCollector;
class TargetListPanel;
struct CollectResult;
struct RunStatistics;

// What the ping panel is given from outside.
struct PingPanelServices {
  std::shared_ptr<IClock> clock;
  std::shared_ptr<IIcmpCarrier> icmp;
  std::shared_ptr<IResolver> resolver;
  std::shared_ptr<INetworkSettings> network;
  std::shared_ptr<IPrompter> prompter;  // may be null: then no messages
  std::shared_ptr<IKeepAwake> keepAwake;
  FileService* files = nullptr;  // the list and the run log; must outlive the panel
};

// The live display is one of the run's readers: each result's row is shown
// as the run hands it out.
class PingPanelPresenter final : public QObject, private RunReader {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(PingPanelPresenter)

 public:
  // The widgets of the panel; the window owns them and they must outlive the
  // run (the window ends the run first).
  struct Views {
    ResultsDisplay* display = nullptr;
    ParameterFrame* parameterFrame = nullptr;
    ScheduleFrame* scheduleFrame = nullptr;
    TargetListPanel* targetList = nullptr;
    QWidget* window = nullptr;  // the list dialogs' parent
  };

  explicit PingPanelPresenter(PingPanelServices services, QObject* parent = nullptr);
  ~PingPanelPresenter() override;

  // The parameters the frames edit and the run reads, and the schedule's
  // timing; both are here before the frames are built on them.
  // The parameter lists' set, which they write; the run has its own copy.
  PingParameters& parameters() { return params_; }
  const PingParameters& parameters() const { return params_; }
  // Sends the lists' set to the run (after a change made past the lists).
  void sendParameters() {
    if (pingRun_) pingRun_->setParameters(params_);
  }
  ScheduleCheck& scheduleCheck() const { return *scheduleCheck_; }

  void setViews(const Views& views);
  // Start-up, once the data folder is known: the run and its log, then the
  // list and its editor and collection.
  void makeRun(const std::string& dataFolder);
  void loadIPList(const std::string& dataFolder);
  // The list is read again whenever `exporter` has imported one over it.
  void followImports(ResultsExport& exporter);
  // The list editor's dialogs for a new group of `members` ("," between),
  // or for a new range from `first` to `last`.
  void addGroupOf(const std::string& members);
  void addRangeOf(const std::string& first, const std::string& last);
  // Ends the run (waiting for its echoes) before the views go.
  void endRun();

  // A start: "Immediately", then a run; refused while one is going.
  void startRun();
  // Another run of the window (a scan) is going, or has ended: the ping
  // run's starts are refused meanwhile, and the list is not edited.
  void setOtherRunGoing(bool going);
  void stopRun();
  // A list dialog's test-now button: a run on `entry` alone (an empty entry
  // tests the selection), refused like any start while a run is going.
  void startTestNow(const sondrel::ListEntry& entry);

  // The run's own state; nothing runs before makeRun.
  bool testRunning() const;

  PingRun* pingRun() const { return pingRun_.get(); }
  RunLog* runLog() const { return runLog_.get(); }
  IPListStore* ipListStore() const { return store_.get(); }
  IPListEditor* ipListEditor() const { return editor_; }
  // What the window and the list dialogs pass each other (presets included).
  DialogExchange& exchange() { return exchange_; }

 Q_SIGNALS:
  // The run started or went idle: the window's start buttons follow.
  void testRunningChanged(bool running);
  void pingPanelWanted();
  void neutralFocusWanted();
  void selectionPopupHideWanted();
  // Stop is off while a stop is under way.
  void stopEnabledChanged(bool enabled);
  // The list editor's range dialog asked for a scan of `entry`.
  void scanRequested(const sondrel::ListEntry& entry);

 private:
  // Starts collecting the run's targets; `ready` gets them on this thread.
  void collectPingTargets(PingRun::TargetsReady ready);
  void pingTargetsCollected(const sondrel::CollectResult& result);
  void showStatistics(const RunStatistics& stats);
  void resultAdded(std::int64_t row, const ResultRecord& record, const EchoDetail& echo) override;
  void endSchedule();

  PingPanelServices services_;
  Views views_;
  PingParameters params_;
  std::unique_ptr<ScheduleCheck> scheduleCheck_;
  std::unique_ptr<IPListStore> store_;
  DialogExchange exchange_;
  ListEntry testNow_;  // what a test-now start tests, until its collection takes it
  IPListEditor* editor_ = nullptr;
  bool otherRunGoing_ = false;
  TargetCollector* collector_ = nullptr;
  PingRun::TargetsReady targetsReady_;  // the run waiting for the collection
  std::unique_ptr<RunLog> runLog_;
  std::unique_ptr<PingRun> pingRun_;
  bool reloadCursor_ = false;
};

}  // namespace sondrel
