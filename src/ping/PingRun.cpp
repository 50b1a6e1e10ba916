#include "ping/PingRun.h"

#include <QPointer>

#include <QMetaObject>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#include "core/common/AddressHelpers.h"
#include "core/ping/PingMoudle.h"
#include "core/ports/Clock.h"
#include "core/ports/IcmpCarrier.h"
#include "ports/KeepAwake.h"
#include "ports/Prompter.h"

namespace sondrel {
namespace {

// The machine is kept awake while passes go, up to the log's close.
bool KeepsAwake(RunState state) { return state == RunState::Running || state == RunState::Stopping; }

// A slot whose echo is to be sent; any other value is the outcome already.
constexpr std::int32_t kToSend = std::numeric_limits<std::int32_t>::min();

// One target's echo in a pass.
struct Slot {
  std::int32_t preStatus = kToSend;
  EchoRequest request;
};

}  // namespace

// The pass under way: the sizes its records carry, and which of its results
// have been recorded.
struct PingRun::Pass {
  std::uint64_t serial = 0;
  std::uint32_t index = 0;  // the run's pass number, from 0
  std::vector<std::int32_t> sizes;
  std::size_t recorded = 0;
  bool tickWaiting = false;  // a tick came meanwhile: the next pass follows at once
};

// Sends the echoes of one pass at a time on its own thread and hands the
// outcomes back through `deliver`, in slot order: each as soon as every slot
// before it is in, stamped with the moment its own echo ended. A stop cancels
// the echoes still waiting; the pass then ends with the slots before the first
// cancelled one, so the records keep their places in the target order.
class PingRun::Worker {
 public:
  using Deliver = std::function<void(std::uint64_t serial, std::size_t firstSlot,
                                     std::vector<EchoOutcome> outcomes, bool passDone)>;

  Worker(std::shared_ptr<IIcmpCarrier> icmp, std::shared_ptr<IClock> clock, Deliver deliver)
      : icmp_(std::move(icmp)),
        clock_(std::move(clock)),
        deliver_(std::move(deliver)),
        thread_([this] { loop(); }) {}
  ~Worker() {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
      stop_ = true;
      if (cancel_) cancel_->cancel();
    }
    cv_.notify_all();
    thread_.join();
  }

  void start(std::uint64_t serial, std::vector<Slot> slots, PassMode mode) {
    {
      std::lock_guard lock(mutex_);
      job_ = Job{serial, std::move(slots), mode, std::make_shared<EchoCancel>()};
      cancel_ = job_->cancel;
      stop_ = false;
    }
    cv_.notify_all();
  }
  // Echoes not yet begun are not sent; those waiting end at once.
  void requestStop() {
    std::lock_guard lock(mutex_);
    stop_ = true;
    if (cancel_) cancel_->cancel();
  }

 private:
  struct Job {
    std::uint64_t serial;
    std::vector<Slot> slots;
    PassMode mode;
    std::shared_ptr<EchoCancel> cancel;
  };

  EchoOutcome outcomeOf(const EchoReply& r, std::int64_t sentUtcUs) const {
    return {r.status, r.roundTripMs, r.roundTripUs, r.ttl, clock_->now(), sentUtcUs, r.cancelled};
  }

  void loop() {
    while (true) {
      Job job;
      {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [&] { return quit_ || job_.has_value(); });
        if (quit_) return;
        job = std::move(*job_);
        job_.reset();
      }
      if (job.mode == PassMode::Together)
        together(job);
      else
        oneByOne(job);
    }
  }

  void together(Job& job) {
    const std::size_t n = job.slots.size();
    std::vector<std::optional<EchoOutcome>> ready(n);
    std::vector<std::size_t> slotOf;  // request index -> slot
    std::vector<EchoRequest> requests;
    const LocalDateTime begun = clock_->now();
    // The pass's echoes go out together, at this moment.
    const std::int64_t sentUs = clock_->utcMicros();
    for (std::size_t k = 0; k < n; ++k) {
      Slot& s = job.slots[k];
      if (s.preStatus != kToSend) {
        ready[k] = EchoOutcome{s.preStatus, 0, 0, 0, begun, sentUs, false};
      } else {
        slotOf.push_back(k);
        requests.push_back(std::move(s.request));
      }
    }
    std::size_t delivered = 0;
    auto deliverReady = [&](bool passDone) {
      const std::size_t first = delivered;
      std::vector<EchoOutcome> out;
      while (delivered < n && ready[delivered] && !ready[delivered]->cancelled)
        out.push_back(*ready[delivered++]);
      if (!out.empty() || passDone) deliver_(job.serial, first, std::move(out), passDone);
    };
    deliverReady(false);
    if (!requests.empty()) {
      EchoWatch watch;
      watch.cancel = job.cancel.get();
      watch.ended = [&](std::size_t i, const EchoReply& r) {
        if (i >= slotOf.size() || ready[slotOf[i]]) return;
        ready[slotOf[i]] = outcomeOf(r, sentUs);
      };
      watch.settled = [&] { deliverReady(false); };
      const std::vector<EchoReply> replies = icmp_->echoMany(requests, watch);
      // Whatever the carrier did not report is taken from its answer.
      for (std::size_t i = 0; i < slotOf.size(); ++i)
        if (!ready[slotOf[i]])
          ready[slotOf[i]] = i < replies.size()
                                 ? outcomeOf(replies[i], sentUs)
                                 : EchoOutcome{11050, 0, 0, 0, clock_->now(), sentUs, false};
    }
    deliverReady(true);
  }

  void oneByOne(Job& job) {
    for (std::size_t k = 0; k < job.slots.size(); ++k) {
      if (stop_) break;
      const Slot& s = job.slots[k];
      const std::int64_t sentUs = clock_->utcMicros();
      EchoOutcome o{s.preStatus, 0, 0, 0, clock_->now(), sentUs, false};
      if (s.preStatus == kToSend) o = outcomeOf(icmp_->echo(s.request, job.cancel.get()), sentUs);
      if (o.cancelled) break;
      deliver_(job.serial, k, {o}, k + 1 == job.slots.size());
      if (k + 1 == job.slots.size()) return;
    }
    deliver_(job.serial, job.slots.size(), {}, true);
  }

  std::shared_ptr<IIcmpCarrier> icmp_;
  std::shared_ptr<IClock> clock_;
  Deliver deliver_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::optional<Job> job_;
  std::shared_ptr<EchoCancel> cancel_;  // the pass under way
  bool quit_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

PingRun::PingRun(PingRunServices services, PingParameters params, RunJournal& journal, QObject* parent)
    : QObject(parent), services_(std::move(services)), params_(std::move(params)), journal_(journal) {
  timer1_.setObjectName(QStringLiteral("Timer1"));
  timer2_.setObjectName(QStringLiteral("Timer2"));
  timer1_.setInterval(static_cast<int>(std::max<std::uint32_t>(params_.intervalMs, 1)));
  // Passes keep their schedule to the millisecond: a coarse timer may fire
  // up to 5 % of the interval early or late.
  timer1_.setTimerType(Qt::PreciseTimer);
  timer2_.setInterval(kStopPollMs);
  connect(&timer1_, &QTimer::timeout, this, &PingRun::PingTick);
  connect(&timer2_, &QTimer::timeout, this, &PingRun::FinishStop);

  connect(&journal_, &RunJournal::problem, this, &PingRun::problem);
  connect(&journal_, &RunJournal::reloadStarted, this,
          [this] { Q_EMIT reloadStarted(QString::fromLatin1(kLoadingText)); });
  connect(&journal_, &RunJournal::reloadProgress, this, &PingRun::reloadProgress);
  connect(&journal_, &RunJournal::reloadProblem, this, &PingRun::problem);
  connect(&journal_, &RunJournal::reloadFinished, this, [this](std::shared_ptr<RunData> run) {
    if (!reloadWanted_) return;
    if (runsStarted_ != reloadMark_) {
      // A start came since the reload began. A run whose log has started
      // owns the files and the screen (the log then hands back nothing);
      // a start still collecting its targets may yet give up.
      if (run && testRunning())
        pendingReload_ = std::move(run);
      else if (run)
        showReloaded(std::move(*run));
      return;
    }
    if (run && !testRunning()) {
      showReloaded(std::move(*run));
    } else if (!testRunning()) {
      setTitles(title1_, QString());
    }
  });

  worker_ = std::make_unique<Worker>(
      services_.icmp, services_.clock, [this](std::uint64_t serial, std::size_t first,
                             std::vector<EchoOutcome> outcomes, bool done) {
        QMetaObject::invokeMethod(
            this,
            [this, serial, first, outcomes = std::move(outcomes), done] {
              passDelivered(serial, first, outcomes, done);
            },
            Qt::QueuedConnection);
      });
}

PingRun::~PingRun() {
  // Waits for an echo under way; nothing is posted after this.
  worker_.reset();
  // Nothing is told from here: the window may be going too.
  disconnect(&journal_, nullptr, this, nullptr);
  if (testRunning()) (void)journal_.endRun();
  if (KeepsAwake(state_) && services_.keepAwake) services_.keepAwake->release();
}

void PingRun::setState(RunState next) {
  const RunState before = state_;
  if (next == before) return;
  state_ = next;
  if (services_.keepAwake && KeepsAwake(next) != KeepsAwake(before)) {
    if (KeepsAwake(next))
      services_.keepAwake->acquire();
    else
      services_.keepAwake->release();
  }
  Q_EMIT stateChanged(next);
  if ((before == RunState::Idle) != (next == RunState::Idle)) Q_EMIT testRunningChanged(next != RunState::Idle);
}

void PingRun::addReader(RunReader* reader) {
  if (reader && std::find(readers_.begin(), readers_.end(), reader) == readers_.end())
    readers_.push_back(reader);
}

void PingRun::removeReader(RunReader* reader) {
  readers_.erase(std::remove(readers_.begin(), readers_.end(), reader), readers_.end());
}

void PingRun::setTitles(const QString& title1, const QString& title2) {
  title1_ = title1;
  title2_ = title2;
  Q_EMIT titlesChanged(title1_, title2_);
}

void PingRun::showMessage(const QString& text) {
  if (services_.prompter)
    services_.prompter->message(text, QStringLiteral("Information"),
                                IPrompter::Icon::Information);
}

void PingRun::StartPingTest() {
  // A start while a run is going leaves that run alone.
  if (testRunning()) return;
  // A data folder that cannot take the log stops the start before the
  // previous results leave the screen.
  if (auto writable = journal_.checkFolder(); !writable) {
    Q_EMIT problem(QString::fromStdString(writable.error().message));
    // A refused start ends as every other does, from the event loop.
    QTimer::singleShot(0, this, [this] {
      if (testRunning()) return;
      Q_EMIT testRunningChanged(false);
      Q_EMIT startAbandoned();
    });
    return;
  }
  Q_EMIT dataAboutToChange();
  ++runsStarted_;
  previousRun_ = std::move(run_);

  targets_.clear();
  cycle_ = SizeCycle{};
  pass_.reset();
  setState(RunState::Collecting);
  run_.clear();
  timer1_.stop();
  lastReplyLine_.clear();
  title2_ = QString::fromLatin1(kCheckingText);
  Q_EMIT runPreparing(title2_);
  Q_EMIT statisticsChanged(run_.stats);
  Q_EMIT reportLinkVisible(false);
  // The collection may resolve names; let the window paint the title first.
  const std::uint64_t serial = ++startSerial_;
  QTimer::singleShot(0, this, [this, serial] { continueStart(serial); });
}

void PingRun::abandonStart() {
  ++startSerial_;  // a collection still under way answers into nothing
  setTitles(title1_, QString());
  setState(RunState::Idle);
  previousRun_.clear();
  // The previous run's files are still in place; show them again.
  if (auto previous = std::move(pendingReload_)) showReloaded(std::move(*previous));
  Q_EMIT startAbandoned();
}

void PingRun::continueStart(std::uint64_t serial) {
  // Stop before this point has given the start up already.
  if (serial != startSerial_ || state_ != RunState::Collecting) return;

  if (asyncTargetSource_) {
    QPointer<PingRun> self(this);
    asyncTargetSource_([self, serial](RunTargets collected) {
      if (self && self->startSerial_ == serial) self->completeStart(std::move(collected));
    });
    return;
  }
  RunTargets collected;
  if (targetSource_)
    collected = targetSource_();
  else
    collected.nothingToTest = true;
  completeStart(std::move(collected));
}

void PingRun::completeStart(RunTargets collected) {
  ++startSerial_;  // a collection answers once
  if (state_ != RunState::Collecting) return;
  if (collected.nothingToTest || collected.addresses.empty()) return abandonStart();

  std::string why;
  if (!services_.icmp->available(&why)) {
    showMessage(QString::fromStdString(why));
    return abandonStart();
  }

  targets_ = std::move(collected.addresses);
  longAddressFlag_ = collected.longAddressFlag;
  const auto count = static_cast<std::int32_t>(targets_.size());
  run_.targetCount = count;
  run_.stepLength = StepLengthFor(params_, count);
  bufferChanges_ = params_.bufferChanges;
  run_.targetLabels = std::move(collected.labels);
  run_.targetLabels.resize(targets_.size());
  run_.targetGroups = std::move(collected.groups);
  for (const std::string& t : targets_) run_.addresses.push_back(RecordIP(t));
  // A run of known length takes its records' memory at once: grown by
  // doubling, the old and the new copy would be held together at each step,
  // up to twice the records at the peak. Pages not yet written cost nothing,
  // so only a count beyond any real run is left to grow as it goes.
  keepRecords_ = keepRecordsWanted_;
  rows_ = 0;
  if (params_.pingsPerTarget > 0 && keepRecords_) {
    constexpr std::int64_t kLargestReserve = std::int64_t{1} << 26;
    const std::int64_t total = std::int64_t{count} * params_.pingsPerTarget;
    if (total <= kLargestReserve) {
      try {
        run_.records.reserve(static_cast<std::size_t>(total));
      } catch (const std::bad_alloc&) {
        // Grown as it goes instead.
      }
    }
  }

  const QString title1 = QStringLiteral("No.");
  const QString title2 = QString::fromStdString(FormatRunTitle(params_.sendData.size(), count));
  if (auto started = journal_.beginRun(run_); !started) {
    const QString text = QString::fromStdString(started.error().message);
    if (started.error().code == EWOULDBLOCK)
      showMessage(text);
    else
      Q_EMIT problem(text);
    // The previous pair of files is still in place: so are its results.
    auto previous = std::make_shared<RunData>(std::move(previousRun_));
    previous->damagedLines = 0;  // the user was told at its reload
    run_.clear();
    if (!pendingReload_ && !previous->records.empty()) pendingReload_ = std::move(previous);
    return abandonStart();
  }
  // The files hold this run now; the previous one is of no more use.
  previousRun_.clear();
  pendingReload_.reset();
  journal_.cancelReload();

  run_.stats.firstTarget = targets_.front();
  run_.stats.minTime = kNoMinimum;
  setState(RunState::Running);
  runPasses_ = 0;
  ending_ = RunEnd::Stopped;
  advancedMs_.reset();
  timer1_.setInterval(kFirstTickMs);
  timer1_.start();
  title1_ = title1;
  title2_ = title2;
  Q_EMIT runStarted(title1_, title2_, longAddressFlag_, count);
  Q_EMIT titlesChanged(title1_, title2_);
  tellReaders([this](RunReader& reader) { reader.runStarted(run_, params_); });
}

std::uint32_t PingRun::nextIntervalMs() {
  if (!params_.advancedInterval) {
    advancedMs_.reset();
    return std::max<std::uint32_t>(params_.intervalMs, 1);
  }
  if (!advancedMs_) advancedMs_ = params_.intervalStart;
  const std::uint32_t now = *advancedMs_;
  // Moves towards the limit by the step, then stays there.
  const std::int64_t limit = params_.intervalLimit;
  std::int64_t next = std::int64_t{now} + params_.intervalStep;
  if ((params_.intervalStep > 0 && next > limit) || (params_.intervalStep < 0 && next < limit))
    next = limit;
  advancedMs_ = static_cast<std::uint32_t>(
      std::clamp<std::int64_t>(next, 0, std::numeric_limits<std::int32_t>::max()));
  return std::clamp<std::uint32_t>(now, 1, std::numeric_limits<std::int32_t>::max());
}

void PingRun::PingTick() {
  if (state_ != RunState::Running) return;
  if (pass_) {
    // Passes never overlap: this tick runs once the pass under way is in.
    pass_->tickWaiting = true;
    return;
  }
  // The first tick comes after kFirstTickMs; the interval takes over here.
  const int interval = static_cast<int>(nextIntervalMs());
  if (timer1_.interval() != interval) timer1_.setInterval(interval);
  beginPass();
}

void PingRun::beginPass() {
  pass_ = std::make_unique<Pass>();
  pass_->serial = ++passSerial_;
  pass_->index = runPasses_++;
  std::vector<Slot> slots(targets_.size());
  pass_->sizes.resize(targets_.size());
  if (params_.bufferChanges != bufferChanges_) {
    // A new buffer setting starts its size cycle from the first size, each
    // size again for a whole step of pings.
    bufferChanges_ = params_.bufferChanges;
    cycle_ = SizeCycle{};
    run_.stepLength = StepLengthFor(params_, run_.targetCount);
  }
  for (std::size_t k = 0; k < targets_.size(); ++k) {
    SendChoice send = NextSend(params_, cycle_, run_.stepLength);
    pass_->sizes[k] = send.size;
    Slot& slot = slots[k];
    // The echo module's rules: a malformed address or too much data is never sent.
    std::uint32_t address = 0;
    slot.preStatus = PingMoudle::checkEcho(TrimBlanks(targets_[k]), send.data.size(), address);
    if (slot.preStatus == 0) {
      slot.preStatus = kToSend;
      slot.request = EchoRequest{address, std::move(send.data), params_.timeoutMs};
    }
  }
  worker_->start(pass_->serial, std::move(slots), params_.passMode);
}

void PingRun::passDelivered(std::uint64_t serial, std::size_t firstSlot,
                            const std::vector<EchoOutcome>& outcomes, bool passDone) {
  if (!pass_ || serial != pass_->serial) return;
  for (std::size_t i = 0; i < outcomes.size(); ++i) PingOneTarget(firstSlot + i, outcomes[i]);
  if (!outcomes.empty()) Q_EMIT statisticsChanged(run_.stats);
  if (passDone) endOfPass();
}

void PingRun::PingOneTarget(std::size_t slot, const EchoOutcome& outcome) {
  ResultRecord r;
  // The moment this echo ended, not when its turn in the pass came.
  r.when = ResultTime::from(outcome.ended);
  r.target = static_cast<std::uint32_t>(slot);
  r.bufferSize = pass_->sizes[slot];
  r.status = outcome.status;
  if (outcome.status == 0) {
    r.time = static_cast<std::int32_t>(
        std::min<std::uint32_t>(outcome.roundTripMs, std::numeric_limits<std::int32_t>::max()));
    r.ttl = outcome.ttl;
  } else {
    r.time = -1;
    r.ttl = 0;
  }
  CountResult(run_.stats, r);
  if (keepRecords_)
    run_.records.push_back(r);
  else
    ++rows_;
  ++pass_->recorded;
  lastReplyLine_ =
      FormatLastReplyLine(r, targets_[slot], r.time < 0 ? PingMoudle::GetStatusCode(r.status) : "");

  // Kept before it is shown: a row anyone saw is in the log even when the
  // program is killed right after, or a slot of the row stops the run.
  const std::int64_t row = rowCount() - 1;
  const EchoDetail echo{outcome.status == 0 ? outcome.roundTripUs : 0, outcome.sentUtcUs, pass_->index};
  journal_.resultAdded(row, r, echo);
  Q_EMIT resultAdded(row, r);
  for (RunReader* reader : readers_) reader->resultAdded(row, r, echo);
}

void PingRun::endOfPass() {
  const bool tickWaiting = pass_ && pass_->tickWaiting;
  pass_.reset();
  tellReaders([](RunReader& reader) { reader.passEnded(); });
  if (state_ == RunState::Stopping) return FinishStop();
  if (PingsDone(run_.stats, params_.pingsPerTarget, run_.targetCount)) return stopFor(RunEnd::CountReached);
  if (pastEndCheck_ && pastEndCheck_()) return stopFor(RunEnd::ScheduledEnd);
  if (tickWaiting) PingTick();
}

void PingRun::StopPingTest() { stopFor(RunEnd::Stopped); }

void PingRun::stopFor(RunEnd why) {
  if (state_ != RunState::Collecting && state_ != RunState::Running) return;
  timer1_.stop();
  worker_->requestStop();
  if (state_ == RunState::Collecting) {
    Q_EMIT stopping();
    return abandonStart();  // give the start up now
  }
  setState(RunState::Stopping);
  ending_ = why;
  Q_EMIT stopping();
  timer2_.start();
  if (!pass_) return FinishStop();
  runTitle2_ = title2_;
  setTitles(title1_, QString::fromLatin1(kStoppingText));
}

void PingRun::FinishStop() {
  // The run stays marked as running until the echoes under way are recorded
  // and the log is closed, so no new run can start over this one's log.
  if (pass_ || state_ != RunState::Stopping) return;
  timer2_.stop();
  run_.logStamp = journal_.endRun();
  if (!runTitle2_.isNull()) {
    setTitles(title1_, runTitle2_);
    runTitle2_ = QString();
  }
  setState(RunState::Idle);
  tellReaders([this](RunReader& reader) { reader.runEnded(run_, ending_); });
  Q_EMIT finished();
  Q_EMIT reportLinkVisible(true);
}

bool PingRun::showArchivedRun(RunData run) {
  if (testRunning()) return false;
  reloadWanted_ = false;
  journal_.cancelReload();
  pendingReload_.reset();
  setPreviousRun(std::move(run));
  return true;
}

bool PingRun::ReloadPreviousRun() {
  if (testRunning()) return false;
  reloadWanted_ = true;
  reloadMark_ = runsStarted_;
  if (services_.prompter) return journal_.ReloadPreviousRun(*services_.prompter);
  auto loaded = journal_.loadPreviousRun();
  if (!loaded) return false;
  showReloaded(std::move(loaded.value()));
  return true;
}

void PingRun::showReloaded(RunData run) {
  const std::int64_t damaged = run.damagedLines;
  setPreviousRun(std::move(run));
  if (damaged > 0) Q_EMIT problem(QString::fromStdString(DamagedLinesText(damaged, journal_.logPath())));
}

void PingRun::setPreviousRun(RunData run) {
  if (testRunning()) return;
  Q_EMIT dataAboutToChange();
  run_ = std::move(run);
  targets_.clear();
  lastReplyLine_.clear();
  title1_ = QStringLiteral("No.");
  title2_ = QString::fromLatin1(kPreviousRunTitle);
  Q_EMIT statisticsChanged(run_.stats);
  Q_EMIT previousRunLoaded(title2_);
  Q_EMIT titlesChanged(title1_, title2_);
  Q_EMIT reportLinkVisible(true);
  tellReaders([this](RunReader& reader) { reader.previousRunShown(run_); });
}

}  // namespace sondrel
