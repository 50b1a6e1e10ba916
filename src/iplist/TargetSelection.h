#pragma once
// Collecting a run's targets off the window thread. Names are resolved on
// worker threads (several at once); the targets, labels and unresolved list
// come out exactly as a one-at-a-time collection would give them.

#include <QObject>
#include <memory>
#include <cstdint>

#include "core/iplist/Targets.h"

namespace sondrel {

struct ListEntry;
class IPrompter;
class IResolver;

// A request for `purpose` holding the test-now entry when it is one that
// purpose tests (a single or group for a ping test, a range for a scan). The
// caller adds the list state (current item, selection, TextPing, IPEntries).
CollectRequest TestNowRequest(CollectPurpose purpose, const ListEntry& testNow);

// Shows the unresolved names once, as an information message. True when a
// message was shown.
bool ReportUnresolved(const RunTargetState& state, IPrompter& prompter);

// Tells the user when a selection was cut at kMaxTargets (information
// message). True when a message was shown.
bool ReportTruncated(const RunTargetState& state, IPrompter& prompter);

class TargetCollector final : public QObject {
  Q_OBJECT
 public:
  explicit TargetCollector(std::shared_ptr<IResolver> resolver, QObject* parent = nullptr);
  ~TargetCollector() override;
  Q_DISABLE_COPY_MOVE(TargetCollector)

  // Starts a collection; finished() follows on this object's thread. A start
  // while one is under way replaces it (the earlier result is dropped).
  void start(CollectRequest request);
  // Drops the collection under way, if any.
  void cancel();
  bool busy() const { return busy_; }

  // The same collection, on the calling thread.
  static CollectResult collectNow(const CollectRequest& request, IResolver& resolver);

 Q_SIGNALS:
  void finished(const sondrel::CollectResult& result);

 private:
  struct Shared;
  std::shared_ptr<IResolver> resolver_;
  std::shared_ptr<Shared> shared_;
  bool busy_ = false;
};

}  // namespace sondrel

Q_DECLARE_METATYPE(sondrel::CollectResult)
