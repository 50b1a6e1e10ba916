#pragma once
// "sondrel-cli ping": the window's ping run without a window. Same engine,
// same data-folder log; results are printed as the display's rows and the
// statistics block follows at the end.

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "core/common/Result.h"
#include "core/iplist/Targets.h"
#include "ping/PingRun.h"

namespace sondrel {
class FileService;
class IClock;
class IHttpServer;
class IIcmpCarrier;
class INotifier;
class IResolver;
class ProcessService;
}  // namespace sondrel

namespace sondrel::cli {

inline constexpr int kExitReplied = 0;
inline constexpr int kExitNoReply = 1;
inline constexpr int kExitUsage = 2;
// The run never began: data folder, log or lock, ICMP socket, or no target
// left once names were resolved. Kept apart from 1 so that a script can tell
// a broken set-up from a dead host.
inline constexpr int kExitCannotStart = 3;

struct CliServices {
  std::shared_ptr<IClock> clock;
  std::shared_ptr<IIcmpCarrier> icmp;
  std::shared_ptr<IResolver> resolver;
  FileService* files = nullptr;  // the data folder's files; outlives the run
  std::string dataFolder;  // ends in "/"
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  // For alerts: the user's commands, and the desktop's notifications (made
  // only when asked for; null: none).
  std::shared_ptr<ProcessService> processes;
  std::function<std::shared_ptr<INotifier>()> notifier;
  // For the monitor's metrics: a new HTTP server (null: none can be made).
  std::function<std::unique_ptr<IHttpServer>()> httpServer;
};

// The targets of the command line in order: addresses as given, names
// resolved (labelled "name / address"), ranges walked octet by octet. Names
// that do not resolve are listed in `unresolved`. Fails, before walking or
// resolving anything, when the targets come to more than kMaxTargets (a name
// counted as one). `argGroups` names runs of the arguments (first argument,
// how many); the targets they give become the run's groups of those names.
struct CollectedTargets {
  RunTargets targets;
  std::vector<std::string> unresolved;
};
Result<CollectedTargets> CollectCommandLineTargets(const std::vector<std::string>& args,
                                                   IResolver& resolver,
                                                   const std::vector<TargetGroup>& argGroups = {});

// The targets of the IP list's groups and ranges of those titles, as command
// line targets: a group gives its members, a range "FIRST-LAST". Fails when
// the list cannot be read or holds no group or range of a title. `groups`,
// when given, gets each title's run of the arguments returned.
Result<std::vector<std::string>> ListTargets(FileService& files, const std::string& ipListPath,
                                             const std::vector<std::string>& titles,
                                             std::vector<TargetGroup>* groups = nullptr);

// The run's targets from the command line's TARGETs and --list titles; the
// names that did not resolve are told on `err`. Fails as the two above do,
// and with `nothingLeft` (kExitCannotStart) when no address is left.
Result<CollectedTargets> CollectRunTargets(const std::vector<std::string>& targets,
                                           const std::vector<std::string>& lists,
                                           const std::string& dataFolder, FileService& files,
                                           IResolver& resolver, std::FILE* err,
                                           const char* nothingLeft);

// Runs the ping command to its end in the current QCoreApplication's event
// loop; SIGINT stops the run like Stop. Returns the exit status.
int RunPing(const CliOptions& options, const CliServices& services);

// The whole program: argv in, exit status out.
int Main(int argc, char** argv);

}  // namespace sondrel::cli
