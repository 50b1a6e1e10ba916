#include "cli/CliScan.h"

#include <QDateTime>
#include <QEventLoop>
#include <QLocale>
#include <QSocketNotifier>
#include <memory>
#include <sstream>

#include "cli/CliArguments.h"
#include "cli/CliJson.h"
#include "cli/StreamPrompter.h"
#include "core/common/AddressHelpers.h"
#include "core/common/DataFolder.h"
#include "core/results/ScanExport.h"
#include "platform/SignalPipe.h"
#include "results/ResultsExport.h"
#include "scan/ArpLookup.h"
#include "scan/ScanRun.h"

namespace sondrel::cli {

std::string ScanUsageText() {
  return "Usage: sondrel-cli scan [--json] [--list TITLE]... [--] TARGET...\n"
         "\n"
         "Scans the targets as the window's \"Scan ip\" does: each address is pinged\n"
         "(twice when the first echo gets no reply), live hosts get their host name\n"
         "and MAC address, and the results are printed as the scan export writes them:\n"
         "the \"IP Scan at :\" line, the totals, the active hosts, then the inactive ones,\n"
         "one \"k,address,ms,host,MAC,TTL\" line each. Ctrl-C ends the scan and prints\n"
         "what has come in.\n"
         "\n"
         "Targets: dotted addresses, host names, or ranges FIRST-LAST, as for ping.\n"
         "  --list TITLE   also scan the group or range of that title in the IP list\n"
         "  --json         write one JSON object per line instead: a \"host\" per address\n"
         "                 in scan order (address, state, rtt_ms, ttl, name, mac), then\n"
         "                 the \"scan_summary\" (time, total, active, inactive); fields:\n"
         "                 README.md, \"JSON lines\"\n"
         "  -h, --help     show this text\n"
         "\n"
         "Exit status: 0 some host answered, 1 none did, 2 bad usage, 3 the scan could\n"
         "not start (no worker program, no ICMP socket, no target left).\n";
}

ParsedScanLine ParseScanCommandLine(const std::vector<std::string>& args) {
  ParsedScanLine out;
  ScanOptions& o = out.options;
  const CommandArguments read = ReadArguments(args, {{{"h", "help"}}, {{"json"}}, {{"list"}, true}});
  if (!read.ok()) {
    out.error = FaultText(read);
    return out;
  }
  for (const auto& [name, v] : read.options) {
    if (name == "h") {
      o.help = true;
      return out;
    }
    if (name == "json") {
      o.json = true;
      continue;
    }
    if (TrimBlanks(v).empty()) {
      out.error = "an empty list title";
      return out;
    }
    o.lists.push_back(v);
  }
  for (const std::string& target : read.positionals) {
    if (TrimBlanks(target).empty()) {
      out.error = "empty target";
      return out;
    }
    o.targets.push_back(target);
  }
  if (o.targets.empty() && o.lists.empty()) out.error = "no target given";
  return out;
}

int RunScan(const ScanOptions& options, const ScanServices& services) {
  auto collected = CollectRunTargets(options.targets, options.lists, services.dataFolder,
                                     *services.files, *services.resolver, services.err, "nothing to scan");
  if (!collected) {
    std::fprintf(services.err, "sondrel-cli: %s\n", collected.error().message.c_str());
    return collected.error().code;
  }
  CollectedTargets& c = collected.value();

  ScanRun run(*services.processes, services.workerPath);
  QEventLoop loop;
  int status = kExitCannotStart;
  bool failed = false;
  auto print = [&] {
    const ScanCounters& n = run.counters();
    status = n.active > 0 ? kExitReplied : kExitNoReply;
    if (options.json) {
      for (const std::string& line : ScanJson(run.table(), n, QDateTime::currentMSecsSinceEpoch() * 1000))
        std::fprintf(services.out, "%s\n", line.c_str());
      std::fflush(services.out);
      loop.quit();
      return;
    }
    const ScanTotals totals{std::to_string(n.total), std::to_string(n.active),
                            std::to_string(n.inactive)};
    const std::string date =
        GeneralDateText(QDateTime::currentDateTime(), QLocale::system()).toStdString();
    std::ostringstream text;
    WriteScanExport(text, date, totals, run.table());
    std::fputs(text.str().c_str(), services.out);
    std::fflush(services.out);
    loop.quit();
  };
  // The neighbour table fills the MACs the workers could not learn, then the
  // table is printed.
  StreamPrompter prompter(services.err);
  std::unique_ptr<ArpLookup> lookup;
  if (services.network && services.clock) {
    lookup = std::make_unique<ArpLookup>(*services.processes, prompter, *services.network,
                                         *services.clock);
    QObject::connect(lookup.get(), &ArpLookup::finished, &loop, print);
  }
  bool finishing = false;
  auto finish = [&] {
    if (failed || finishing) return;
    finishing = true;
    if (!lookup) return print();
    lookup->ScanStartSeconds = run.startSeconds();
    lookup->RunArpLookup(run.table());
  };
  QObject::connect(&run, &ScanRun::reportsComplete, &loop, finish, Qt::QueuedConnection);
  // Workers that died: what was probed again and what got no report.
  QObject::connect(&run, &ScanRun::scanNote, &loop, [&](const QString& message) {
    if (failed) return;
    std::fprintf(services.err, "sondrel-cli: %s\n",
                 QString(message).replace(QStringLiteral("\n\n"), QStringLiteral(" ")).toLocal8Bit().constData());
  });
  QObject::connect(&run, &ScanRun::workerFailed, &loop, [&](const QString& message) {
    std::fprintf(services.err, "sondrel-cli: %s\n", message.toLocal8Bit().constData());
    failed = true;
    status = kExitCannotStart;
    loop.quit();
  });

  // Ctrl-C: no more workers, and what has come in is printed.
  SignalPipe signals;
  std::unique_ptr<QSocketNotifier> notifier;
  if (signals.installed()) {
    notifier = std::make_unique<QSocketNotifier>(signals.readFd(), QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &loop, [&] {
      signals.drain();
      run.StopScan();
      finish();
    });
  }
  // The ticks only pace the window's display; here the end is the last report.
  run.timerS1().setInterval(3600 * 1000);
  if (!run.StartScan(c.targets.addresses)) return kExitCannotStart;
  loop.exec();
  return status;
}

}  // namespace sondrel::cli
