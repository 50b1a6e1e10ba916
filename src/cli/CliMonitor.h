#pragma once
// "sondrel-cli monitor": pings its targets until it is told to stop (SIGTERM
// or SIGINT), keeps one archived run per local day in a data folder of its
// own, tells each outage as it begins and ends, and serves the run's figures
// for Prometheus.

#include <string>
#include <vector>

#include "cli/CliPing.h"
#include "core/ping/PingParameters.h"

namespace sondrel::cli {

inline constexpr const char* kDefaultListen = "127.0.0.1:9374";
// The monitor's data folder under the data folder, unless --data names one.
inline constexpr const char* kMonitorFolder = "monitor/";

struct MonitorOptions {
  bool help = false;
  PingParameters params;              // each pass every interval, until stopped
  std::vector<std::string> targets;   // as for ping
  std::vector<std::string> lists;     // titles of the IP list's groups and ranges
  std::string targetsFile;            // one target a line; "#" starts a comment line
  std::string listen = kDefaultListen;  // ADDRESS:PORT, or "none"
  std::string dataFolder;             // "" for the data folder's monitor/
};

struct ParsedMonitorLine {
  MonitorOptions options;
  std::string error;
  bool ok() const { return error.empty(); }
};

ParsedMonitorLine ParseMonitorLine(const std::vector<std::string>& args);
std::string MonitorUsageText();

// The targets of a targets file: its lines trimmed, blank ones and those
// beginning with "#" left out.
std::vector<std::string> TargetsFileLines(const std::string& text);

int RunMonitorService(const MonitorOptions& options, const CliServices& services);

}  // namespace sondrel::cli
