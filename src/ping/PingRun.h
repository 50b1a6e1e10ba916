#pragma once
// The ping test run: one pass over all targets on every tick of Timer1, one
// result record, statistics update, display row and log line per echo.
//
// The window thread owns all state. The echoes of a pass go out on a worker
// thread (all together, or one after the other) and their results come back
// to the window thread, where they are processed in target order exactly as
// one-at-a-time processing would. Passes never overlap: a tick that comes
// while a pass is under way waits for it. Stop cancels the echoes still
// waiting (they never completed and are not recorded), then closes the log;
// it does not wait for their time-outs.
//
// The window reflects the run through the signals; the steps that belong to
// its widgets (panels, colours, buttons, scroll bar) are left to it.

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/common/LocalDateTime.h"
#include "core/ping/PingParameters.h"
#include "core/ping/RunRecords.h"
#include "ping/RunJournal.h"
#include "ping/RunReader.h"

namespace sondrel {

class IClock;
class IIcmpCarrier;
class IKeepAwake;
class IPrompter;

inline constexpr const char* kCheckingText = "   Checking IP address, Please wait ...";
inline constexpr const char* kStoppingText = "   Stopping, Please wait ...";
inline constexpr const char* kLoadingText = "Loading previous test results, please wait .....";
inline constexpr const char* kPreviousRunTitle = "Previous Ping Test Result";
inline constexpr int kFirstTickMs = 99;
inline constexpr int kStopPollMs = 500;

// The outcome of one echo as the run records it.
struct EchoOutcome {
  std::int32_t status = 0;
  std::uint32_t roundTripMs = 0;
  std::uint32_t roundTripUs = 0;  // as the carrier measured it
  std::uint8_t ttl = 0;
  LocalDateTime ended;     // local time at which the echo ended
  std::int64_t sentUtcUs = 0;  // when it went out (or was found not to be sendable)
  bool cancelled = false;  // ended by Stop: never recorded
};

// Where a run is: no run; a start collecting its targets (names may still
// resolve); passes going; Stop taken, the echoes under way still coming in.
enum class RunState { Idle, Collecting, Running, Stopping };

// What the target collection gives a run.
struct RunTargets {
  std::vector<std::string> addresses;  // in ping order
  std::vector<std::string> labels;     // parallel to addresses
  bool longAddressFlag = false;        // some address longer than 13 characters
  bool nothingToTest = false;          // nothing selected or typed
  std::vector<TargetGroup> groups;     // the named list entries they came from
};

// What a ping run is given from outside.
struct PingRunServices {
  std::shared_ptr<IClock> clock;
  std::shared_ptr<IIcmpCarrier> icmp;
  std::shared_ptr<IPrompter> prompter;   // messages of the run (may be null: then none)
  std::shared_ptr<IKeepAwake> keepAwake;  // may be null
};

class PingRun final : public QObject {
  Q_OBJECT
 public:
  // The run keeps its own copy of the parameters: `params` to begin with,
  // then each set sent with setParameters, taken at the next pass (the
  // echoes under way keep theirs). The run is kept in `journal` (the run
  // log), which must outlive the run.
  PingRun(PingRunServices services, PingParameters params, RunJournal& journal, QObject* parent = nullptr);
  ~PingRun() override;
  Q_DISABLE_COPY_MOVE(PingRun)

  // Collects the targets (CollectTargets of the selection, which also reports
  // the unresolved names to the user). Called by StartPingTest.
  using TargetSource = std::function<RunTargets()>;
  void setTargetSource(TargetSource source) {
    targetSource_ = std::move(source);
    asyncTargetSource_ = nullptr;
  }
  // The same for a collection that finishes later (names resolving on other
  // threads): the source is handed a function to call once, on this thread,
  // with the targets. Each setter replaces the other kind of source.
  using TargetsReady = std::function<void(RunTargets)>;
  using AsyncTargetSource = std::function<void(TargetsReady)>;
  void setAsyncTargetSource(AsyncTargetSource source) {
    asyncTargetSource_ = std::move(source);
    targetSource_ = nullptr;
  }

  // The scheduled end: asked after every pass; true once the scheduled end
  // has passed (false while "Immediately" is chosen). The start check and the
  // armed flag belong to the schedule, not to the run.
  void setPastEndCheck(std::function<bool()> check) { pastEndCheck_ = std::move(check); }

  // A changed parameter set (the parameter lists send one at each change).
  void setParameters(const PingParameters& params) { params_ = params; }

  // Prepares and starts a run; nothing when one is going. The collection and
  // the log start follow once the window has painted the "Checking" title.
  void StartPingTest();
  // Stop: no further echoes begin and those waiting are cancelled; the run
  // finishes as soon as the carrier has given them back. Meanwhile the title
  // line reads kStoppingText.
  void StopPingTest();

  RunState state() const { return state_; }
  // A start or a run is under way (any state but Idle).
  bool testRunning() const { return state_ != RunState::Idle; }

  // The records of the current run, or of the reloaded previous one.
  const RunData& data() const { return run_; }
  std::int64_t rowCount() const {
    return keepRecords_ ? static_cast<std::int64_t>(run_.records.size()) : rows_;
  }
  // A run that goes on for days (the monitor service) leaves its records to
  // its readers (the archive keeps them): data() holds none, rowCount()
  // still counts them. Taken at the next start.
  void keepRecordsInMemory(bool keep) { keepRecordsWanted_ = keep; }
  const std::string& lastReplyLine() const { return lastReplyLine_; }
  bool longAddressFlag() const { return longAddressFlag_; }

  // Start-up: reloads the previous run through the log (asking first when it
  // is large) and shows it through previousRunLoaded. False when nothing is
  // to be loaded.
  bool ReloadPreviousRun();
  // Takes a reloaded run as the current data (not while a run is going).
  void setPreviousRun(RunData run);
  // Shows a run opened from the archive as the previous run, in place of the
  // log's (a reload of the log still under way is given up). False while a
  // run is going.
  bool showArchivedRun(RunData run);

  // Readers of what the run does, called in the order added, after the
  // journal; each must outlive the run or be removed first. Adding one twice
  // adds it once.
  void addReader(RunReader* reader);
  void removeReader(RunReader* reader);

  // The timers, for the window's tests and the schedule.
  const QTimer& timer1() const { return timer1_; }
  const QTimer& timer2() const { return timer2_; }

 Q_SIGNALS:
  // StartPingTest step 1 and 5: show the ping panel, paint it black, clear the
  // rows, statistics values and report link; title line `title2`.
  void runPreparing(const QString& title2);
  // Every change of state(); testRunningChanged follows when the run leaves
  // or reaches Idle (the start buttons go by it).
  void stateChanged(sondrel::RunState state);
  void testRunningChanged(bool running);
  // The title lines (LabelTittle1, LabelTittle2) changed.
  void titlesChanged(const QString& title1, const QString& title2);
  // The log is started and Timer1 armed: titles, the row layout (long
  // addresses widen the first column) and the number of targets.
  void runStarted(const QString& title1, const QString& title2, bool longAddressFlag,
                  int targetCount);
  // One result, in order: its row index (0-based) and the record. Views
  // format the row themselves from data() (FormatResultRow).
  void resultAdded(qint64 row, const sondrel::ResultRecord& record);
  void statisticsChanged(const sondrel::RunStatistics& stats);
  // Stop was taken: the window moves the scroll bar to the last page and
  // selects "Immediately".
  void stopping();
  // The run is over and its log closed.
  void finished();
  // A start gave up before its run began (nothing to test, Stop while the
  // names resolved, no ICMP socket, the log refused): the run is idle again
  // and no finished() follows.
  void startAbandoned();
  void reportLinkVisible(bool visible);
  // The records in data() are about to be replaced (a start, a reload taken
  // in): whoever reads them on another thread must stop first.
  void dataAboutToChange();
  // A message for the user that needs no answer, shown with the warning
  // icon: the data folder cannot be written, logging stopped, a damaged or
  // too large log at reload.
  void problem(const QString& text);
  // Reload: progress, and the previous run now in data().
  void reloadStarted(const QString& title2);
  void reloadProgress(qint64 remaining);
  void previousRunLoaded(const QString& title2);

 private:
  struct Pass;
  class Worker;

  PingRunServices services_;
  PingParameters params_;
  RunJournal& journal_;
  TargetSource targetSource_;
  AsyncTargetSource asyncTargetSource_;
  std::uint64_t startSerial_ = 0;  // tells a late collection from the current one
  std::function<bool()> pastEndCheck_;

  QTimer timer1_;  // the ping tick
  QTimer timer2_;  // finishes a stopped run once the echoes under way are in

  RunData run_;
  // The results shown before a start, kept until its log has started: a
  // start that fails there shows them again.
  RunData previousRun_;
  // A reload that finished while a start was collecting its targets.
  std::shared_ptr<RunData> pendingReload_;
  bool reloadWanted_ = true;  // false once an archived run is shown instead
  std::uint64_t runsStarted_ = 0;
  std::uint64_t reloadMark_ = 0;  // runsStarted_ when the reload began
  std::vector<std::string> targets_;  // addresses in ping order
  SizeCycle cycle_;
  std::uint32_t bufferChanges_ = 0;  // the buffer setting the cycle was started for
  bool keepRecordsWanted_ = true;
  bool keepRecords_ = true;  // this run's
  std::int64_t rows_ = 0;    // the run's rows while its records are not kept
  std::string lastReplyLine_;
  QString title1_;
  QString title2_;
  QString runTitle2_;  // the run's title while kStoppingText stands in for it
  RunState state_ = RunState::Idle;
  bool longAddressFlag_ = false;  // of the targets: some address is long
  // The advanced interval's next value while it is in use.
  std::optional<std::uint32_t> advancedMs_;
  std::uint64_t passSerial_ = 0;
  std::uint32_t runPasses_ = 0;  // passes begun in this run
  RunEnd ending_ = RunEnd::Stopped;  // why the run under way is stopping
  std::unique_ptr<Pass> pass_;
  std::unique_ptr<Worker> worker_;
  std::vector<RunReader*> readers_;

  void continueStart(std::uint64_t serial);
  void completeStart(RunTargets collected);
  void PingTick();
  void beginPass();
  void PingOneTarget(std::size_t slot, const EchoOutcome& outcome);
  void passDelivered(std::uint64_t serial, std::size_t firstSlot,
                     const std::vector<EchoOutcome>& outcomes, bool passDone);
  void endOfPass();
  void FinishStop();
  // Stop for a reason of the run's own (its count, the schedule).
  void stopFor(RunEnd why);
  std::uint32_t nextIntervalMs();
  // The one place the state changes; the keep-awake hold follows it.
  void setState(RunState next);
  void setTitles(const QString& title1, const QString& title2);
  void abandonStart();
  void showMessage(const QString& text);
  // Calls `tell` with the journal, then with every reader.
  template <class Tell>
  void tellReaders(Tell tell) {
    tell(static_cast<RunReader&>(journal_));
    for (RunReader* reader : readers_) tell(*reader);
  }
  // Shows a reloaded run, and says how many of its log lines were damaged.
  void showReloaded(RunData run);
};

}  // namespace sondrel

Q_DECLARE_METATYPE(sondrel::ResultRecord)
Q_DECLARE_METATYPE(sondrel::RunStatistics)
