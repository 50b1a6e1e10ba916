#pragma once
// "sondrel-cli scan": the window's IP scan without a window. Same run, same
// worker program; prints the scan export's lines once every address is in.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliPing.h"
#include "core/ports/Clock.h"
#include "core/ports/NetworkSettings.h"

namespace sondrel {
class ProcessService;
}

namespace sondrel::cli {

struct ScanOptions {
  bool help = false;
  bool json = false;  // JSON lines in place of the export's lines
  std::vector<std::string> targets;
  std::vector<std::string> lists;
};

struct ParsedScanLine {
  ScanOptions options;
  std::string error;
  bool ok() const { return error.empty(); }
};

// argv after "scan".
ParsedScanLine ParseScanCommandLine(const std::vector<std::string>& args);
std::string ScanUsageText();

struct ScanServices {
  std::shared_ptr<IResolver> resolver;
  ProcessService* processes = nullptr;
  std::string workerPath;
  std::string dataFolder;  // ends in "/"
  FileService* files = nullptr;  // reads the IP list for --list; outlives the scan
  // For the MAC completion after the scan; without them the MACs stay as
  // the workers reported them.
  std::shared_ptr<INetworkSettings> network;
  std::shared_ptr<IClock> clock;
  std::FILE* out = stdout;
  std::FILE* err = stderr;
};

// Runs the scan to its end in the current QCoreApplication's event loop.
// Returns 0 when some host answered, 1 when none, 3 when it could not start.
int RunScan(const ScanOptions& options, const ScanServices& services);

}  // namespace sondrel::cli
