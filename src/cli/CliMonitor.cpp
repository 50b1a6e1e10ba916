#include "cli/CliMonitor.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <cstdio>

#include "archive/ArchiveRecorder.h"
#include "cli/CliArguments.h"
#include "cli/CliOptions.h"
#include "cli/SignalStop.h"
#include "cli/StreamPrompter.h"
#include "core/common/AddressHelpers.h"
#include "core/common/DataFolder.h"
#include "core/ping/ParameterLists.h"
#include "core/ports/Clock.h"
#include "core/monitor/ListenAddress.h"
#include "core/ports/FileService.h"
#include "core/ports/HttpServer.h"
#include "monitor/MetricsCollector.h"
#include "monitor/MetricsEndpoint.h"
#include "monitor/RunMonitor.h"
#include "service/DailyRuns.h"
#include "service/ServiceJournal.h"

namespace sondrel::cli {
namespace {

constexpr std::uint32_t kDefaultIntervalMs = 1000;
constexpr std::uint32_t kDefaultTimeoutMs = 800;
// How long the end waits for the archive to take its last batch.
constexpr int kArchiveFinishMs = 10000;

}  // namespace

std::string MonitorUsageText() {
  return "Usage: sondrel-cli monitor [options] [--] [TARGET...]\n"
         "\n"
         "Pings every target once per pass, each interval, until it is stopped by SIGTERM\n"
         "or SIGINT (Ctrl-C), and tells each outage (3 or more echoes of a target lost in\n"
         "a row) on standard output as it begins and ends. The run is kept in the run\n"
         "archive of the monitor's own data folder, one run per local day, so that the\n"
         "window (and its ping lock) are free meanwhile; the results are not kept in\n"
         "memory nor in the run log. The figures of the run are served for Prometheus at\n"
         "http://ADDRESS:PORT/metrics, with the smokeping prober's names and labels.\n"
         "\n"
         "Targets as for ping: dotted addresses, host names, or ranges FIRST-LAST.\n"
         "\n"
         "Options (a value may also be attached: -i500, --listen=127.0.0.1:9000):\n"
         "  -i MS          interval of the passes in milliseconds (default 1000)\n"
         "  -w MS          time-out of each echo in milliseconds (default 800)\n"
         "  -s SIZE        buffer size in bytes, 1 to 32000 (default 32)\n"
         "  --list TITLE   also monitor the group or range of that title in the IP list\n"
         "                 (may be repeated)\n"
         "  --targets FILE also monitor the targets of FILE, one a line; blank lines and\n"
         "                 lines beginning with # are left out\n"
         "  --listen ADDRESS:PORT  where to serve the metrics (default 127.0.0.1:9374;\n"
         "                 [::1]:PORT for IPv6; none: serve nothing). An address other\n"
         "                 than loopback is served, with a warning: anyone who reaches it\n"
         "                 can read the targets\n"
         "  --data FOLDER  the monitor's data folder (default: the data folder's monitor/)\n"
         "  --             end of the options: all that follows are targets\n"
         "  -h, --help     show this text\n"
         "\n"
         "Exit status:\n"
         "  0  stopped by a signal\n"
         "  2  bad usage\n"
         "  3  the monitor could not start: its data folder or archive, another monitor\n"
         "     on the same data folder, the targets file, the listening address, no ICMP\n"
         "     socket, or no target left once the names are looked up\n";
}

ParsedMonitorLine ParseMonitorLine(const std::vector<std::string>& args) {
  ParsedMonitorLine out;
  MonitorOptions& o = out.options;
  o.params.intervalMs = kDefaultIntervalMs;
  o.params.timeoutMs = kDefaultTimeoutMs;
  o.params.pingsPerTarget = 0;
  const CommandArguments read =
      ReadArguments(args, {{{"h", "help"}}, {{"i"}, true}, {{"w"}, true}, {{"s"}, true}, {{"list"}, true},
                           {{"targets"}, true}, {{"listen"}, true}, {{"data"}, true}});
  if (!read.ok()) {
    out.error = FaultText(read);
    return out;
  }
  for (const auto& [name, v] : read.options) {
    if (name == "h") {
      o.help = true;
      return out;
    } else if (name == "i") {
      auto n = WholeNumberOption(v, 1);
      if (!n) out.error = "the interval must be a whole number of milliseconds, 1 or more";
      else o.params.intervalMs = static_cast<std::uint32_t>(*n);
    } else if (name == "w") {
      auto n = WholeNumberOption(v, 1);
      if (!n) out.error = "the time-out must be a whole number of milliseconds, 1 or more";
      else o.params.timeoutMs = static_cast<std::uint32_t>(*n);
    } else if (name == "s") {
      if (!WholeNumberOption(v, 1)) out.error = "the buffer size must be a number of bytes, 1 to 32000";
      else out.error = ApplySizeOption(v, o.params);
    } else if (name == "list") {
      if (TrimBlanks(v).empty()) out.error = "an empty list title";
      else o.lists.push_back(v);
    } else if (name == "targets") {
      if (v.empty()) out.error = "--targets needs a file";
      o.targetsFile = v;
    } else if (name == "listen") {
      if (v != "none")
        if (auto where = ParseListenAddress(v); !where) out.error = "--listen: " + where.error().message;
      o.listen = v;
    } else if (name == "data") {
      if (v.empty()) out.error = "--data needs a folder";
      o.dataFolder = v;
    }
    if (!out.ok()) return out;
  }
  for (const std::string& target : read.positionals) {
    if (TrimBlanks(target).empty()) {
      out.error = "empty target";
      return out;
    }
    o.targets.push_back(target);
  }
  if (o.targets.empty() && o.lists.empty() && o.targetsFile.empty()) out.error = "no target given";
  return out;
}

std::vector<std::string> TargetsFileLines(const std::string& text) {
  constexpr std::string_view kBlanks = " \t\r";
  std::vector<std::string> lines;
  for (std::size_t from = 0; from <= text.size();) {
    std::size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    std::string_view line = std::string_view(text).substr(from, end - from);
    from = end + 1;
    const std::size_t first = line.find_first_not_of(kBlanks);
    if (first == std::string_view::npos || line[first] == '#') continue;
    lines.emplace_back(line.substr(first, line.find_last_not_of(kBlanks) - first + 1));
  }
  return lines;
}

int RunMonitorService(const MonitorOptions& options, const CliServices& services) {
  std::vector<std::string> targets = options.targets;
  if (!options.targetsFile.empty()) {
    auto text = services.files->readFile(options.targetsFile);
    if (!text) {
      std::fprintf(services.err, "sondrel-cli: cannot read the targets file %s: %s\n", options.targetsFile.c_str(),
                   text.error().message.c_str());
      return kExitCannotStart;
    }
    for (std::string& line : TargetsFileLines(text.value())) targets.push_back(std::move(line));
  }
  auto collected = CollectRunTargets(targets, options.lists, services.dataFolder, *services.files,
                                     *services.resolver, services.err, "nothing to monitor");
  if (!collected) {
    std::fprintf(services.err, "sondrel-cli: %s\n", collected.error().message.c_str());
    return collected.error().code;
  }
  CollectedTargets& c = collected.value();
  const std::string folder =
      options.dataFolder.empty() ? services.dataFolder + kMonitorFolder : AddSlash(options.dataFolder);
  services.files->makeFolders(folder);

  ServiceJournal journal(folder, *services.files);
  PingRunServices engine{services.clock, services.icmp, std::make_shared<StreamPrompter>(services.err), nullptr};
  ArchiveRecorder archive(folder + kArchiveFile, *services.files, RunOrigin::Monitor, services.clock);
  QObject::connect(&archive, &ArchiveRecorder::problem, &archive, [&](const QString& text) {
    std::fprintf(services.err, "sondrel-cli: %s\n", text.toLocal8Bit().constData());
  });
  archive.keepDaily(ArchiveRetentionSettings());
  DailyRuns days(archive, services.clock);
  const MonitorSettings monitoring = ReadMonitorSettings();
  RunMonitor monitor(monitoring.outageAfter, monitoring.windowUs());
  PingRun run(engine, options.params, journal);
  run.keepRecordsInMemory(false);
  run.setTargetSource([&c] { return c.targets; });
  run.addReader(&days);
  run.addReader(&monitor);
  MetricsCollector metrics(monitoring.outageAfter);
  run.addReader(&metrics);

  std::FILE* out = services.out;
  const auto say = [out](const std::string& line) {
    std::fprintf(out, "%s\n", line.c_str());
    std::fflush(out);
  };

  // The metrics are served from before the first pass, on the server's own
  // threads; the endpoint stops before the collector goes.
  std::unique_ptr<IHttpServer> server;
  std::unique_ptr<MetricsEndpoint> endpoint;
  if (options.listen != "none") {
    auto where = ParseListenAddress(options.listen);
    if (!where) {
      std::fprintf(services.err, "sondrel-cli: --listen: %s\n", where.error().message.c_str());
      return kExitUsage;
    }
    if (services.httpServer) server = services.httpServer();
    if (!server) {
      std::fprintf(services.err, "sondrel-cli: no HTTP server to serve the metrics with\n");
      return kExitCannotStart;
    }
    endpoint = std::make_unique<MetricsEndpoint>(metrics, *server);
    if (auto served = endpoint->start(where.value()); !served) {
      std::fprintf(services.err, "sondrel-cli: cannot serve the metrics at %s: %s\n", options.listen.c_str(),
                   served.error().message.c_str());
      return kExitCannotStart;
    }
    if (!IsLoopbackAddress(where.value().address))
      std::fprintf(services.err,
                   "sondrel-cli: warning: the metrics are served at %s, beyond this machine: whoever reaches it "
                   "reads the targets and their figures\n",
                   options.listen.c_str());
    say("sondrel-cli monitor: metrics at http://" +
        ListenAddressText({where.value().address, endpoint->port()}) + "/metrics");
  }
  QObject::connect(&monitor, &RunMonitor::outageBegan, &monitor, [&](const Outage& o) {
    say(OutageTimeText(o.startUtcUs) + "  " + monitor.nameOf(o.target) + " is down");
  });
  QObject::connect(&monitor, &RunMonitor::outageEnded, &monitor, [&](const Outage& o) {
    if (!monitor.live()) return;  // closed by the end, not come back
    say(OutageTimeText(o.endUtcUs) + "  " + monitor.nameOf(o.target) + " is up again after " +
        OutageLengthText(o) + " s, " + std::to_string(o.lostEchoes) + " lost");
  });

  QEventLoop loop;
  bool started = false;
  int status = kExitCannotStart;
  QObject::connect(&run, &PingRun::runStarted, &loop, [&](const QString&, const QString&, bool, int count) {
    started = true;
    say("sondrel-cli monitor: " + std::to_string(count) + " targets every " +
        std::to_string(options.params.intervalMs) + " ms (time-out " + std::to_string(options.params.timeoutMs) +
        " ms), kept in " + folder + kArchiveFile);
  });
  QObject::connect(&run, &PingRun::problem, &loop, [&](const QString& text) {
    std::fprintf(services.err, "sondrel-cli: %s\n", text.toLocal8Bit().constData());
  });
  QObject::connect(&run, &PingRun::testRunningChanged, &loop, [&](bool running) {
    if (!running && !started) loop.quit();
  });
  QObject::connect(&run, &PingRun::finished, &loop, [&] {
    const RunStatistics& stats = run.data().stats;
    say("sondrel-cli monitor: stopped; " + std::to_string(stats.sent) + " echoes sent, " +
        std::to_string(stats.received()) + " answered");
    status = kExitReplied;
    loop.quit();
  });

  SignalStop signals(run);
  run.StartPingTest();
  loop.exec();
  if (endpoint) endpoint->stop();
  if (started) {
    archive.waitIdle(kArchiveFinishMs);
    QCoreApplication::sendPostedEvents(&archive);
  }
  return status;
}

}  // namespace sondrel::cli
