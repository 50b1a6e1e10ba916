// The program's entry, apart from the run itself so that tests can drive
// RunPing with fakes.
#include <QCoreApplication>

#include <iostream>

#include "platform/ProcessService_linux.h"
#include "cli/CliExport.h"
#include "cli/CliPing.h"
#include "cli/CliReport.h"
#include "scan/EmbeddedWorker.h"
#include "scan/ScanProgram.h"
#include "cli/CliScan.h"
#include "ports/ProcessService.h"
#include "core/common/DataFolder.h"
#include "platform/Clock_linux.h"
#include "platform/Files_linux.h"
#include "platform/IcmpSocketCarrier_linux.h"
#include "platform/NetworkSettings_linux.h"
#include "platform/Resolver_linux.h"

namespace sondrel::cli {

namespace {

int ScanMain(const std::vector<std::string>& args) {
  const ParsedScanLine parsed = ParseScanCommandLine({args.begin() + 1, args.end()});
  if (parsed.options.help) {
    std::fputs(ScanUsageText().c_str(), stdout);
    return kExitReplied;
  }
  if (!parsed.ok()) {
    std::fprintf(stderr, "sondrel-cli: %s\nTry 'sondrel-cli scan --help'.\n",
                 parsed.error.c_str());
    return kExitUsage;
  }
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
  return RunScan(parsed.options, services);
}

}  // namespace

int Main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (!args.empty() && args[0] == "export") {
    const ParsedExport parsed = ParseExportCommandLine({args.begin() + 1, args.end()});
    if (parsed.options.help) {
      std::fputs(ExportUsageText().c_str(), stdout);
      return kExitReplied;
    }
    if (!parsed.ok()) {
      std::fprintf(stderr, "sondrel-cli: %s\nUsage: sondrel-cli export [--csv] [-o FILE] [--delete-log]\n",
                   parsed.error.c_str());
      return kExitUsage;
    }
    return RunExport(parsed.options, DataFolder(), SystemFiles());
  }
  if (!args.empty() && args.front() == "report") {
    const ParsedReportLine report = ParseReportLine({args.begin() + 1, args.end()});
    if (report.options.help) {
      std::fputs(ReportUsageText().c_str(), stdout);
      return kExitReplied;
    }
    if (!report.ok()) {
      std::fprintf(stderr, "sondrel-cli: %s\nTry 'sondrel-cli report --help'.\n",
                   report.error.c_str());
      return kExitUsage;
    }
    return RunReport(report.options, DataFolder(), SystemFiles(), std::cout, std::cerr);
  }
  if (!args.empty() && args[0] == "scan") return ScanMain(args);
  const ParsedCommandLine parsed = ParseCommandLine(args);
  if (parsed.options.help) {
    std::fputs(UsageText().c_str(), stdout);
    return kExitReplied;
  }
  if (parsed.options.version) {
    std::printf("sondrel-cli %s\n", std::string(kVersion).c_str());
    return kExitReplied;
  }
  if (!parsed.ok()) {
    std::fprintf(stderr, "sondrel-cli: %s\nTry 'sondrel-cli --help'.\n", parsed.error.c_str());
    return kExitUsage;
  }
  CliServices services;
  services.clock = std::make_shared<SystemClock>();
  services.icmp = SystemIcmpCarrier();
  services.resolver = SystemResolver();
  services.files = &SystemFiles();
  services.dataFolder = DataFolder();
  return RunPing(parsed.options, services);
}

}  // namespace sondrel::cli
