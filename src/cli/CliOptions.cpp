#include "cli/CliOptions.h"

#include <optional>

#include "cli/CliArguments.h"
#include "core/common/AddressHelpers.h"
#include "core/ping/ParameterLists.h"

namespace sondrel::cli {
namespace {

// The program's refusal texts without their trailing blanks.
std::string refusal(std::string_view message) {
  std::string s(message);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

}  // namespace

std::optional<std::int32_t> WholeNumberOption(const std::string& text, std::int32_t lowest) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  auto v = ParseWholeNumber(text);
  if (!v || *v < lowest) return std::nullopt;
  return v;
}

std::string ApplySizeOption(const std::string& text, PingParameters& p) {
  if (text == "step32") {
    ApplyBufferSetting(ParseBufferSize(kStepUpItem).setting, p);
    return {};
  }
  if (text.find(',') != std::string::npos) {
    auto sizes = ParseSizeList(text);
    if (!sizes || sizes->empty()) return refusal(kInvalidBufferSize);
    BufferSetting s;
    s.mode = BufferMode::Multiple;
    s.sizes = *sizes;
    s.numberOfSizes = static_cast<std::int32_t>(sizes->size());
    s.pingsPerSize = 4;  // as the list's own "16,32,64,1024  Bytes"
    if (std::string why = ValidateBufferSetting(s); !why.empty()) return refusal(why);
    ApplyBufferSetting(s, p);
    return {};
  }
  if (!WholeNumberOption(text, 1)) return refusal(kInvalidBufferSize);
  ParsedBuffer b = ParseBufferSize(text);
  if (!b.ok()) return refusal(b.message);
  ApplyBufferSetting(b.setting, p);
  return {};
}

std::string UsageText() {
  return "Usage: sondrel-cli ping [options] [--] TARGET...\n"
         "       sondrel-cli export [--csv] [-o FILE] [--delete-log]   (see export --help)\n"
         "       sondrel-cli report [-p MINUTES] [--by-size] [--csv] [-o FILE]\n"
         "       sondrel-cli scan [--json] [--list TITLE]... [--] TARGET...   (see scan --help)\n"
         "       sondrel-cli runs [--monitor] [--csv] | --delete ID | --pin ID | --unpin ID\n"
         "       sondrel-cli outages [--monitor] [--run ID] [--csv] [--after K]\n"
         "       sondrel-cli monitor [-i MS] [-w MS] [--listen ADDRESS:PORT] TARGET...   (see monitor --help)\n"
         "       sondrel-cli --help | --version\n"
         "\n"
         "Pings every target once per pass, on a timer, as the window's ping test does,\n"
         "prints each result as a row of the results display, and the statistics at the\n"
         "end, then its outages (3 or more echoes of a target lost in a row). The run is logged in the data folder, so the window shows it as the\n"
         "previous run at its next start, and kept in the run archive beside earlier\n"
         "runs (see runs --help). Ctrl-C stops the run like Stop.\n"
         "\n"
         "Targets: dotted addresses, host names, or ranges FIRST-LAST (10.0.0.1-10.0.0.20).\n"
         "A range is walked octet by octet, each octet from its value in FIRST to its\n"
         "value in LAST (downwards when LAST is lower), not counted through as one\n"
         "number: 127.0.0.1-127.0.1.10 is 20 addresses (127.0.0.1 to .10, then\n"
         "127.0.1.1 to .10), not 266. A run takes at most 65536 targets in all.\n"
         "\n"
         "Options (a value may also be attached: -c5, -w900, --list=TITLE):\n"
         "  -w MS          time-out of each echo in milliseconds (default 500)\n"
         "  -i MS          interval of the passes in milliseconds (default 600)\n"
         "  -s SIZE        buffer size: a number of bytes, 1 to 32000 (default 32);\n"
         "                 a list such as 16,32,64,1024 (each size for 4 pings per target);\n"
         "                 or step32 (32, 64, ... 32000 bytes, one ping each; 1000 pings\n"
         "                 per target unless -c is given)\n"
         "  -c N           pings per target; 0 pings until interrupted (default 0)\n"
         "  --list TITLE   also test the group or range of that title in the IP list,\n"
         "                 after the targets given (may be repeated)\n"
         "  --one-by-one   send the echoes of a pass one after the other, not together\n"
         "  --alerts       apply the alert rules of the user's settings ([alerts] in\n"
         "                 $XDG_CONFIG_HOME/sondrel/sondrel.ini) with their actions;\n"
         "                 without any rule, or without --alerts, --on-event and --notify\n"
         "                 serve one rule: an outage of any target\n"
         "  --on-event PROGRAM  start PROGRAM (no shell) at every alert, with SONDREL_EVENT,\n"
         "                 SONDREL_TARGET, SONDREL_ADDRESS, SONDREL_SINCE, SONDREL_DURATION_MS,\n"
         "                 SONDREL_LOSS_PERCENT, SONDREL_RTT_MS in its environment\n"
         "  --notify       tell every alert through the desktop's notifications\n"
         "  --json         write one JSON object per line instead of the rows and the\n"
         "                 statistics: a \"result\" per echo as it comes (time, target,\n"
         "                 address, rtt_ms with microseconds or null, ttl, status...),\n"
         "                 then a \"summary\" per target, the \"total\" and an \"outage\"\n"
         "                 per outage (fields: README.md, \"JSON lines\")\n"
         "  --             end of the options: all that follows are targets\n"
         "  -h, --help     show this text\n"
         "  --version      show the program's name and version\n"
         "\n"
         "Exit status:\n"
         "  0  some reply came\n"
         "  1  no reply came\n"
         "  2  bad usage: unknown option, bad value, empty or no target, too many targets,\n"
         "     no group or range of a --list title\n"
         "  3  the run could not start: the data folder, its IP list or the run log\n"
         "     cannot be used, another copy is running a ping test, no ICMP socket, or\n"
         "     no target is left once the names are looked up\n";
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine out;
  CliOptions& o = out.options;
  if (args.empty()) {
    out.error = "no command given";
    return out;
  }
  if (args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
    o.help = true;
    return out;
  }
  if (args[0] == "--version") {
    o.version = true;
    return out;
  }
  if (args[0] != "ping") {
    out.error = "unknown command '" + args[0] + "'";
    return out;
  }
  const CommandArguments read =
      ReadArguments({args.begin() + 1, args.end()},
                    {{{"h", "help"}}, {{"version"}}, {{"one-by-one"}}, {{"w"}, true}, {{"i"}, true},
                     {{"c"}, true}, {{"s"}, true}, {{"list"}, true}, {{"alerts"}}, {{"on-event"}, true},
                     {{"notify"}}, {{"json"}}});
  if (!read.ok()) {
    out.error = FaultText(read);
    return out;
  }
  bool countGiven = false;
  bool stepUp = false;
  for (const auto& [name, v] : read.options) {
    if (name == "h") {
      o.help = true;
      return out;
    } else if (name == "version") {
      o.version = true;
      return out;
    } else if (name == "one-by-one") {
      o.params.passMode = PassMode::OneByOne;
    } else if (name == "alerts") {
      o.alerts = true;
    } else if (name == "notify") {
      o.notify = true;
    } else if (name == "json") {
      o.json = true;
    } else if (name == "on-event") {
      if (v.empty()) out.error = "--on-event needs a program";
      o.onEvent = v;
    } else if (name == "w") {
      auto n = WholeNumberOption(v, 1);
      if (!n) out.error = refusal(kInvalidTimeOut);
      else o.params.timeoutMs = static_cast<std::uint32_t>(*n);
    } else if (name == "i") {
      auto n = WholeNumberOption(v, 1);
      if (!n) out.error = refusal(kInvalidInterval);
      else o.params.intervalMs = static_cast<std::uint32_t>(*n);
    } else if (name == "c") {
      auto n = WholeNumberOption(v, 0);
      if (!n) out.error = refusal(kInvalidTimes);
      else o.params.pingsPerTarget = *n;
      countGiven = true;
    } else if (name == "s") {
      out.error = ApplySizeOption(v, o.params);
      stepUp = v == "step32";
    } else if (name == "list") {
      if (TrimBlanks(v).empty()) out.error = "an empty list title";
      else o.lists.push_back(v);
    }
    if (!out.ok()) return out;
  }
  for (const std::string& target : read.positionals) {
    // An empty target would be pinged as a malformed address.
    if (TrimBlanks(target).empty()) {
      out.error = "empty target";
      return out;
    }
    o.targets.push_back(target);
  }
  // One step-up cycle is one run per target, as the window's list sets it.
  if (stepUp && !countGiven) o.params.pingsPerTarget = std::stoi(std::string(kStepUpTimes));
  if (o.targets.empty() && o.lists.empty()) out.error = "no target given";
  return out;
}

}  // namespace sondrel::cli
