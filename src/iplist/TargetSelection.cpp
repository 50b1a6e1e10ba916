#include "iplist/TargetSelection.h"

#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "core/ping/PingMoudle.h"
#include "core/iplist/ListEntry.h"
#include "ports/Prompter.h"
#include "core/ports/Resolver.h"

namespace sondrel {
namespace {

// Names are looked up by a few threads at once; each lookup blocks on the
// system resolver, so more threads than cores is what makes this fast.
constexpr std::size_t kLookupThreads = 8;

std::unordered_map<std::string, std::string> resolveAll(const std::vector<std::string>& names,
                                                        IResolver& resolver) {
  std::vector<std::string> addresses(names.size());
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t i = next++; i < names.size(); i = next++)
      addresses[i] = PingMoudle::GetIPFromHostName(resolver, names[i]);
  };
  std::vector<std::thread> threads;
  const std::size_t count = std::min(kLookupThreads, names.size());
  try {
    for (std::size_t t = 1; t < count; ++t) threads.emplace_back(work);
  } catch (const std::system_error&) {
    // Out of threads: the ones started (and this one) share all the names.
  }
  work();
  for (auto& t : threads) t.join();

  std::unordered_map<std::string, std::string> table;
  for (std::size_t i = 0; i < names.size(); ++i) table.emplace(names[i], std::move(addresses[i]));
  return table;
}

}  // namespace

CollectRequest TestNowRequest(CollectPurpose purpose, const ListEntry& testNow) {
  CollectRequest r;
  r.purpose = purpose;
  const bool scan = purpose == CollectPurpose::Scan;
  if (scan && testNow.kind == ListEntryKind::Range) r.PendingRange = formatListEntry(testNow);
  if (!scan && testNow.kind == ListEntryKind::Single) r.PendingSingle = testNow.title;
  if (!scan && testNow.kind == ListEntryKind::Group) r.PendingGroup = formatListEntry(testNow);
  return r;
}

namespace {

bool inform(const std::string& text, IPrompter& prompter) {
  if (text.empty()) return false;
  prompter.message(QString::fromLocal8Bit(text), QStringLiteral("Information"),
                   IPrompter::Icon::Information);
  return true;
}

}  // namespace

bool ReportUnresolved(const RunTargetState& state, IPrompter& prompter) {
  return inform(UnresolvedReportText(state), prompter);
}

bool ReportTruncated(const RunTargetState& state, IPrompter& prompter) {
  return inform(TruncationReportText(state), prompter);
}

// What the worker threads share with the collector. The collector clears
// `owner` when it goes; a worker posts its result only while it is set, under
// the lock, so it never touches a collector being destroyed.
struct TargetCollector::Shared {
  std::mutex mutex;
  TargetCollector* owner = nullptr;
  std::atomic<std::uint64_t> serial{0};
};

TargetCollector::TargetCollector(std::shared_ptr<IResolver> resolver, QObject* parent)
    : QObject(parent), resolver_(std::move(resolver)), shared_(std::make_shared<Shared>()) {
  shared_->owner = this;
}

TargetCollector::~TargetCollector() {
  std::lock_guard lock(shared_->mutex);
  shared_->owner = nullptr;
  ++shared_->serial;
}

CollectResult TargetCollector::collectNow(const CollectRequest& request, IResolver& resolver) {
  auto table = resolveAll(NamesToResolve(request), resolver);
  return CollectTargets(request, [&](const std::string& name) {
    auto it = table.find(name);
    return it == table.end() ? std::string() : it->second;
  });
}

void TargetCollector::start(CollectRequest request) {
  const std::uint64_t serial = ++shared_->serial;
  busy_ = true;
  auto work = [shared = shared_, resolver = resolver_, serial,
               request = std::move(request)]() mutable {
    auto result = std::make_shared<CollectResult>(collectNow(request, *resolver));
    std::lock_guard lock(shared->mutex);
    if (!shared->owner || shared->serial.load() != serial) return;
    TargetCollector* owner = shared->owner;
    QMetaObject::invokeMethod(
        owner,
        [owner, shared, serial, result] {
          if (shared->serial.load() != serial) return;  // cancelled after posting
          owner->busy_ = false;
          Q_EMIT owner->finished(*result);
        },
        Qt::QueuedConnection);
  };
  // Shared, so that the work is still at hand when no thread can be made.
  auto job = std::make_shared<decltype(work)>(std::move(work));
  try {
    std::thread([job] { (*job)(); }).detach();
  } catch (const std::system_error&) {
    // Collect here instead; the result still arrives queued.
    (*job)();
  }
}

void TargetCollector::cancel() {
  ++shared_->serial;
  busy_ = false;
}

}  // namespace sondrel
