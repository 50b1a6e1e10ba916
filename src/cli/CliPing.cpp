#include "cli/CliPing.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <sstream>

#include "cli/CliJson.h"
#include "cli/StreamPrompter.h"
#include "core/common/AddressHelpers.h"
#include "core/common/DataFolder.h"
#include "core/iplist/IPListFile.h"
#include "core/iplist/ListEntry.h"
#include "core/iplist/Targets.h"
#include "core/ping/PingMoudle.h"
#include "core/ports/IcmpCarrier.h"
#include "ports/Prompter.h"
#include "core/ports/Resolver.h"
#include "cli/SignalStop.h"
#include "ping/RunLog.h"
#include "archive/ArchiveRecorder.h"
#include "monitor/RunMonitor.h"
#include "alerts/AlertCenter.h"
#include "alerts/AlertCommands.h"

namespace sondrel::cli {
namespace {

bool splitRange(const std::string& arg, std::string& first, std::string& last) {
  const size_t dash = arg.find('-');
  if (dash == std::string::npos) return false;
  first = CheckRangeIP(arg.substr(0, dash));
  last = CheckRangeIP(arg.substr(dash + 1));
  return !first.empty() && !last.empty();
}

std::size_t rangeSize(const std::string& first, const std::string& last) {
  int a[4];
  int b[4];
  std::sscanf(first.c_str(), "%d.%d.%d.%d", &a[0], &a[1], &a[2], &a[3]);
  std::sscanf(last.c_str(), "%d.%d.%d.%d", &b[0], &b[1], &b[2], &b[3]);
  std::size_t count = 1;
  for (int k = 0; k < 4; ++k) count *= static_cast<std::size_t>(std::abs(a[k] - b[k]) + 1);
  return count;
}

std::string rowText(qint64 row, const ResultRowTexts& texts) {
  return std::to_string(row + 1) + ". " + texts.first + "  " + texts.second;
}

}  // namespace

Result<CollectedTargets> CollectCommandLineTargets(const std::vector<std::string>& args,
                                                   IResolver& resolver,
                                                   const std::vector<TargetGroup>& argGroups) {
  RunTargetState state;
  CollectedTargets c;
  const NameResolver resolve = [&resolver](const std::string& name) {
    return PingMoudle::GetIPFromHostName(resolver, name);
  };
  // The whole command line is sized before anything is walked or resolved, so
  // that one too large for a run is refused at once and with its total. A
  // name counts as the one address it gives.
  std::size_t total = 0;
  for (const std::string& arg : args) {
    std::string first;
    std::string last;
    if (!splitRange(arg, first, last)) {
      ++total;
      continue;
    }
    const std::size_t size = rangeSize(first, last);
    if (size > kMaxTargets)
      return Error{kExitUsage, "the range " + first + "-" + last + " holds " +
                                   std::to_string(size) + " addresses, more than " +
                                   std::to_string(kMaxTargets)};
    total += size;
  }
  if (total > kMaxTargets)
    return Error{kExitUsage, "the targets come to " + std::to_string(total) +
                                 " addresses, more than " + std::to_string(kMaxTargets)};

  // Where each argument's targets begin, so that a group of arguments
  // becomes the group of the targets they gave.
  std::vector<std::size_t> firstTarget;
  firstTarget.reserve(args.size() + 1);
  for (const std::string& arg : args) {
    firstTarget.push_back(state.TargetAddresses.size());
    std::string first;
    std::string last;
    if (splitRange(arg, first, last)) {
      ExpandRange(state, first, last);
      continue;
    }
    if (ResolveTarget(state, arg, resolve).empty()) c.unresolved.push_back(StripNote(arg));
  }
  firstTarget.push_back(state.TargetAddresses.size());
  for (const TargetGroup& g : argGroups) {
    if (g.first + g.count > args.size()) continue;
    const std::size_t from = firstTarget[g.first];
    const std::size_t to = firstTarget[g.first + g.count];
    if (to > from) c.targets.groups.push_back({from, to - from, g.name});
  }
  for (const std::string& address : state.TargetAddresses)
    if (address.size() > 13) state.LongAddressFlag = true;
  c.targets.addresses = std::move(state.TargetAddresses);
  c.targets.labels = std::move(state.TargetLabels);
  c.targets.longAddressFlag = state.LongAddressFlag;
  return c;
}

Result<std::vector<std::string>> ListTargets(FileService& files, const std::string& ipListPath,
                                             const std::vector<std::string>& titles,
                                             std::vector<TargetGroup>* groups) {
  std::vector<std::string> out;
  if (titles.empty()) return out;
  auto bytes = files.readFile(ipListPath);
  if (!bytes) return Error{kExitCannotStart, "cannot read the IP list " + ipListPath};
  std::istringstream in(std::move(bytes.value()));
  const std::vector<std::string> entries = ParseIPList(in);
  for (const std::string& title : titles) {
    const std::string wanted = TrimBlanks(title);
    bool found = false;
    for (const std::string& line : entries) {
      const ListEntry entry = parseListEntry(line);
      if (entry.kind != ListEntryKind::Group && entry.kind != ListEntryKind::Range) continue;
      // A line of its kind letter alone names nothing.
      if (line.size() == 1 || TrimBlanks(entry.title) != wanted) continue;
      const std::size_t before = out.size();
      if (entry.kind == ListEntryKind::Group) {
        out.insert(out.end(), entry.members.begin(), entry.members.end());
      } else if (entry.members.size() >= 2) {
        out.push_back(TrimBlanks(entry.first()) + "-" + TrimBlanks(entry.last()));
      }
      if (groups && out.size() > before) groups->push_back({before, out.size() - before, entry.title});
      found = true;
      break;
    }
    if (!found) return Error{kExitUsage, "no group or range titled '" + title + "' in the IP list"};
  }
  return out;
}

Result<CollectedTargets> CollectRunTargets(const std::vector<std::string>& targets,
                                           const std::vector<std::string>& lists,
                                           const std::string& dataFolder, FileService& files,
                                           IResolver& resolver,
                                           std::FILE* err, const char* nothingLeft) {
  std::vector<TargetGroup> groups;
  auto fromLists = ListTargets(files, dataFolder + std::string(kIPListFile), lists, &groups);
  if (!fromLists) return fromLists.error();
  std::vector<std::string> args = targets;
  args.insert(args.end(), fromLists.value().begin(), fromLists.value().end());
  // The lists' arguments follow the command line's own.
  for (TargetGroup& g : groups) g.first += targets.size();
  auto collected = CollectCommandLineTargets(args, resolver, groups);
  if (!collected) return collected;
  const std::vector<std::string>& unresolved = collected.value().unresolved;
  if (!unresolved.empty()) {
    std::fprintf(err, "Cannot find the IP address for the following %zu host:\n",
                 unresolved.size());
    for (const std::string& name : unresolved) std::fprintf(err, "       %s\n", name.c_str());
  }
  if (collected.value().targets.addresses.empty()) return Error{kExitCannotStart, nothingLeft};
  return collected;
}

namespace {
// How long the end of a run waits for the archive to take its last batch.
constexpr int kArchiveFinishMs = 10000;
}  // namespace

int RunPing(const CliOptions& options, const CliServices& services) {
  auto collected = CollectRunTargets(options.targets, options.lists, services.dataFolder,
                                     *services.files, *services.resolver, services.err, "nothing to test");
  if (!collected) {
    std::fprintf(services.err, "sondrel-cli: %s\n", collected.error().message.c_str());
    return collected.error().code;
  }
  CollectedTargets& c = collected.value();

  RunLog log(services.dataFolder, *services.files);
  PingRunServices engine{services.clock, services.icmp,
                           std::make_shared<StreamPrompter>(services.err), nullptr};
  // Every run is kept in the archive too; the run never waits for it. The
  // recorder outlives the run, as its readers must.
  ArchiveRecorder archive(services.dataFolder + kArchiveFile, *services.files, RunOrigin::CommandLine,
                          services.clock);
  QObject::connect(&archive, &ArchiveRecorder::problem, &archive, [&](const QString& text) {
    std::fprintf(services.err, "sondrel-cli: %s\n", text.toLocal8Bit().constData());
  });
  PingRun run(engine, options.params, log);
  run.setTargetSource([&c] { return c.targets; });
  run.addReader(&archive);
  RunMonitor monitor;
  run.addReader(&monitor);
  archive.keepDaily(ArchiveRetentionSettings());
  // Alerts, when asked for: each told on standard error as well.
  std::unique_ptr<AlertCenter> alerts;
  if (options.alerts || !options.onEvent.empty() || options.notify) {
    AlertSettings settings = options.alerts ? ReadAlertSettings() : AlertSettings{};
    if (settings.rules.empty()) {
      AlertRuleSettings outage;
      outage.rule.name = "outage";
      outage.notify = false;
      settings.rules.push_back(outage);
    }
    if (!options.onEvent.empty()) settings.everyAlertCommand = {options.onEvent};
    settings.notifyEvery = options.notify;
    settings.offerShow = false;  // no window here to show a target in
    std::shared_ptr<INotifier> notifier;
    const bool anyNotify = options.notify || std::any_of(settings.rules.begin(), settings.rules.end(),
                                                         [](const AlertRuleSettings& r) { return r.notify; });
    if (anyNotify && services.notifier) notifier = services.notifier();
    alerts = std::make_unique<AlertCenter>(monitor, services.clock, std::move(settings), notifier,
                                           services.processes);
    for (auto told : {&AlertCenter::alerted, &AlertCenter::updated})
      QObject::connect(alerts.get(), told, alerts.get(),
                       [&archive](const AlertRecord& r) { archive.putAlert(ArchivedAlertOf(r)); });
    QObject::connect(alerts.get(), &AlertCenter::alerted, alerts.get(), [&services](const AlertRecord& r) {
      std::fprintf(services.err, "sondrel-cli: alert: %s. %s\n", r.summary.toLocal8Bit().constData(),
                   r.body.toLocal8Bit().constData());
    });
    QObject::connect(alerts.get(), &AlertCenter::updated, alerts.get(), [&services](const AlertRecord& r) {
      if (r.exitStatus && *r.exitStatus != 0)
        std::fprintf(services.err, "sondrel-cli: the alert command %s: %s\n",
                     *r.exitStatus < 0 ? "did not start" : ("ended with status " + std::to_string(*r.exitStatus)).c_str(),
                     r.output.trimmed().left(200).constData());
    });
  }

  QEventLoop loop;
  bool started = false;
  // Stays so when the run is refused before it begins; the reason is printed.
  int status = kExitCannotStart;
  std::FILE* out = services.out;
  QObject::connect(&run, &PingRun::runStarted, &loop,
                   [&](const QString&, const QString& title2) {
                     started = true;
                     if (options.json) return;  // every line of it is an object
                     std::fprintf(out, "%s\n", title2.toLocal8Bit().constData());
                     std::fflush(out);
                   });
  // The JSON lines read the carrier's microseconds, which only the run's
  // readers hear.
  JsonResults jsonResults(out, [&run] { run.StopPingTest(); });
  if (options.json) {
    run.addReader(&jsonResults);
  } else {
    QObject::connect(&run, &PingRun::resultAdded, &loop,
                     [out, &run](qint64 row, const ResultRecord& record) {
                       // Each row at once, also when the output is a pipe or a
                       // file, so that a reader sees the run as it goes.
                       const ResultRowTexts texts = FormatResultRow(run.data(), record);
                       std::fprintf(out, "%s\n", rowText(row, texts).c_str());
                       // Nobody reads any more: stop as Ctrl-C would, the log
                       // closed whole.
                       if (std::fflush(out) != 0 && errno == EPIPE) run.StopPingTest();
                     });
  }
  QObject::connect(&run, &PingRun::problem, &loop, [&](const QString& text) {
    std::fprintf(services.err, "sondrel-cli: %s\n", text.toLocal8Bit().constData());
  });
  QObject::connect(&run, &PingRun::testRunningChanged, &loop, [&](bool running) {
    if (!running && !started) loop.quit();  // refused; the reason is printed
  });
  QObject::connect(&run, &PingRun::finished, &loop, [&] {
    status = run.data().stats.received() > 0 ? kExitReplied : kExitNoReply;
    if (options.json) {
      for (const std::string& line : PingEndJson(run.data(), monitor)) std::fprintf(out, "%s\n", line.c_str());
      std::fflush(out);
      loop.quit();
      return;
    }
    std::fprintf(out, "\nReault:\n \n");
    for (const std::string& line : FormatStatisticsLines(run.data().stats))
      std::fprintf(out, "%s\n", line.c_str());
    std::vector<std::string> names;
    for (std::uint32_t t = 0; t < monitor.targetCount(); ++t) names.push_back(monitor.nameOf(t));
    const std::vector<std::string> outages =
        FormatOutageLines(monitor.outages().outages(), monitor.outages().threshold(), names);
    if (!outages.empty()) std::fprintf(out, "\n");
    for (const std::string& line : outages) std::fprintf(out, "%s\n", line.c_str());
    std::fflush(out);
    loop.quit();
  });

  SignalStop signals(run);
  run.StartPingTest();
  loop.exec();
  // What the archive has to say about the run's last batch is said here.
  if (started) {
    archive.waitIdle(kArchiveFinishMs);
    QCoreApplication::sendPostedEvents(&archive);
  }
  // The alerts' commands still going get their time to end (those left at
  // the end of it are stopped with their groups).
  if (alerts) {
    QElapsedTimer waited;
    waited.start();
    const qint64 limit = std::int64_t{alerts->settings().commandTimeoutSeconds} * 1000 + 2000;
    while ((alerts->commands().running() > 0 || alerts->commands().waiting() > 0) && waited.elapsed() < limit)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  return status;
}

}  // namespace sondrel::cli
