// The program's entry, apart from the run itself so that tests can drive
// RunPing with fakes.
#include <QCoreApplication>

#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ProcessService_linux.h"
#include "cli/CliExport.h"
#include "cli/CliMonitor.h"
#include "cli/CliPing.h"
#include "cli/CliReport.h"
#include "cli/CliRuns.h"
#include "scan/EmbeddedWorker.h"
#include "scan/ScanProgram.h"
#include "cli/CliScan.h"
#include "ports/ProcessService.h"
#include "core/common/DataFolder.h"
#include "platform/Clock_linux.h"
#include "platform/Files_linux.h"
#include "platform/HttpServer_linux.h"
#include "platform/NotifierDBus.h"
#include "platform/IcmpSocketCarrier_linux.h"
#include "platform/NetworkSettings_linux.h"
#include "platform/Resolver_linux.h"

namespace sondrel::cli {

namespace {

using Arguments = std::vector<std::string>;

// One command's reader, help and run: what every command does with its line
// is the same (Answer), only these differ.
template <typename Parsed>
struct CommandForm {
  Parsed (*read)(const Arguments& args);
  std::string (*usage)();
  const char* hint;  // the line after a fault, pointing to the help
  int (*run)(const decltype(Parsed::options)& options);
};

// The help (or, for ping, the version) on standard output; a line that is not
// understood on standard error with the command's hint; otherwise the run.
template <typename Parsed>
int Answer(const CommandForm<Parsed>& form, const Arguments& args) {
  const Parsed parsed = form.read(args);
  if (parsed.options.help) {
    std::fputs(form.usage().c_str(), stdout);
    return kExitReplied;
  }
  if constexpr (requires { parsed.options.version; }) {
    if (parsed.options.version) {
      std::printf("sondrel-cli %s\n", std::string(kVersion).c_str());
      return kExitReplied;
    }
  }
  if (!parsed.ok()) {
    std::fprintf(stderr, "sondrel-cli: %s\n%s\n", parsed.error.c_str(), form.hint);
    return kExitUsage;
  }
  return form.run(parsed.options);
}

int RunExportOnSystem(const ExportOptions& options) {
  return RunExport(options, DataFolder(), SystemFiles());
}

int RunReportOnSystem(const ReportOptions& options) {
  return RunReport(options, DataFolder(), SystemFiles(), std::cout, std::cerr);
}

// The window's archive, or the monitor service's.
std::string ArchiveFolder(bool monitor) { return monitor ? DataFolder() + kMonitorFolder : DataFolder(); }

int RunRunsOnSystem(const RunsOptions& options) {
  return RunRuns(options, ArchiveFolder(options.monitor), SystemFiles(), std::cout, std::cerr);
}

int RunOutagesOnSystem(const OutagesOptions& options) {
  return RunOutages(options, ArchiveFolder(options.monitor), SystemFiles(), std::cout, std::cerr);
}

int RunScanOnSystem(const ScanOptions& options) {
  ScanServices services;
  services.resolver = SystemResolver();
  services.network = SystemNetworkSettings();
  services.clock = std::make_shared<SystemClock>();
  services.dataFolder = DataFolder();
  services.files = &SystemFiles();
  auto worker = ExtractScanProgram(services.dataFolder, EmbeddedWorker(), SystemFiles());
  if (!worker) {
    std::fprintf(stderr, "sondrel-cli: %s\n", worker.error().message.c_str());
    return kExitCannotStart;
  }
  services.workerPath = worker.value();
  auto processes = MakeProcessService();
  services.processes = processes.get();
  return RunScan(options, services);
}

CliServices PingServicesOnSystem() {
  CliServices services;
  services.clock = std::make_shared<SystemClock>();
  services.icmp = SystemIcmpCarrier();
  services.resolver = SystemResolver();
  services.files = &SystemFiles();
  services.dataFolder = DataFolder();
  services.processes = MakeProcessService();
  services.notifier = [] { return std::make_shared<DBusNotifier>(); };
  services.httpServer = [] { return MakeHttpServer(); };
  return services;
}

int RunPingOnSystem(const CliOptions& options) { return RunPing(options, PingServicesOnSystem()); }

int RunMonitorOnSystem(const MonitorOptions& options) { return RunMonitorService(options, PingServicesOnSystem()); }

constexpr CommandForm<ParsedCommandLine> kPing{ParseCommandLine, UsageText,
                                               "Try 'sondrel-cli --help'.", RunPingOnSystem};
constexpr CommandForm<ParsedExport> kExport{
    ParseExportCommandLine, ExportUsageText,
    "Usage: sondrel-cli export [--csv] [-o FILE] [--delete-log]", RunExportOnSystem};
constexpr CommandForm<ParsedReportLine> kReport{ParseReportLine, ReportUsageText,
                                                "Try 'sondrel-cli report --help'.",
                                                RunReportOnSystem};
constexpr CommandForm<ParsedRunsLine> kRuns{ParseRunsLine, RunsUsageText, "Try 'sondrel-cli runs --help'.",
                                            RunRunsOnSystem};
constexpr CommandForm<ParsedOutagesLine> kOutages{ParseOutagesLine, OutagesUsageText,
                                                  "Try 'sondrel-cli outages --help'.", RunOutagesOnSystem};
constexpr CommandForm<ParsedMonitorLine> kMonitor{ParseMonitorLine, MonitorUsageText,
                                                  "Try 'sondrel-cli monitor --help'.", RunMonitorOnSystem};
constexpr CommandForm<ParsedScanLine> kScan{ParseScanCommandLine, ScanUsageText,
                                            "Try 'sondrel-cli scan --help'.", RunScanOnSystem};

template <const auto& form>
int CommandMain(const Arguments& args) {
  return Answer(form, args);
}

// The commands named by the first argument, each given the arguments after
// its name. A line that names none of them is a ping line, read whole.
struct Command {
  std::string_view name;
  int (*main)(const Arguments& args);
};
constexpr Command kCommands[] = {
    {"export", CommandMain<kExport>},
    {"monitor", CommandMain<kMonitor>},
    {"outages", CommandMain<kOutages>},
    {"report", CommandMain<kReport>},
    {"runs", CommandMain<kRuns>},
    {"scan", CommandMain<kScan>},
};

}  // namespace

int Main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const Arguments args(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (!args.empty())
    for (const Command& command : kCommands)
      if (args.front() == command.name) return command.main({args.begin() + 1, args.end()});
  return CommandMain<kPing>(args);
}

}  // namespace sondrel::cli
