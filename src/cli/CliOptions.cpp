#include "cli/CliOptions.h"

#include <optional>

#include "core/TestParameterLists.h"

namespace sondrel::cli {
namespace {

// The program's refusal texts without their trailing blanks.
std::string refusal(std::string_view message) {
  std::string s(message);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::optional<std::int32_t> wholeNumber(const std::string& text, std::int32_t lowest) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  auto v = ParseWholeNumber(text);
  if (!v || *v < lowest) return std::nullopt;
  return v;
}

// "-s": a number of bytes, "step32", or a list of sizes.
std::string applySize(const std::string& text, PingParameters& p) {
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
  if (!wholeNumber(text, 1)) return refusal(kInvalidBufferSize);
  ParsedBuffer b = ParseBufferSize(text);
  if (!b.ok()) return refusal(b.message);
  ApplyBufferSetting(b.setting, p);
  return {};
}

}  // namespace

std::string UsageText() {
  return "Usage: sondrel-cli ping [options] TARGET...\n"
         "\n"
         "Pings every target once per pass, on a timer, as the window's ping test does,\n"
         "prints each result as a row of the results display, and the statistics at the\n"
         "end. The run is logged in the data folder, so the window shows it as the\n"
         "previous run at its next start. Ctrl-C stops the run like Stop.\n"
         "\n"
         "Targets: dotted addresses, host names, or ranges FIRST-LAST (10.0.0.1-10.0.0.20).\n"
         "\n"
         "Options:\n"
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
         "  -h, --help     show this text\n"
         "\n"
         "Exit status: 0 when some reply came, 1 when none did, 2 for bad usage.\n";
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
  if (args[0] != "ping") {
    out.error = "unknown command '" + args[0] + "'";
    return out;
  }
  bool countGiven = false;
  bool stepUp = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= args.size()) {
        out.error = "option " + a + " needs a value";
        return false;
      }
      v = args[++i];
      return true;
    };
    std::string v;
    if (a == "-h" || a == "--help") {
      o.help = true;
      return out;
    } else if (a == "--one-by-one") {
      o.params.passMode = PassMode::OneByOne;
    } else if (a == "-w" || a == "-i" || a == "-c" || a == "-s" || a == "--list") {
      if (!value(v)) return out;
      if (a == "-w") {
        auto n = wholeNumber(v, 1);
        if (!n) out.error = refusal(kInvalidTimeOut);
        else o.params.timeoutMs = static_cast<std::uint32_t>(*n);
      } else if (a == "-i") {
        auto n = wholeNumber(v, 1);
        if (!n) out.error = refusal(kInvalidInterval);
        else o.params.intervalMs = static_cast<std::uint32_t>(*n);
      } else if (a == "-c") {
        auto n = wholeNumber(v, 0);
        if (!n) out.error = refusal(kInvalidTimes);
        else o.params.pingsPerTarget = *n;
        countGiven = true;
      } else if (a == "-s") {
        out.error = applySize(v, o.params);
        stepUp = v == "step32";
      } else {
        o.lists.push_back(v);
      }
      if (!out.ok()) return out;
    } else if (a == "--") {
      o.targets.insert(o.targets.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                       args.end());
      break;
    } else if (a.size() > 1 && a[0] == '-') {
      out.error = "unknown option " + a;
      return out;
    } else {
      o.targets.push_back(a);
    }
  }
  // One step-up cycle is one run per target, as the window's list sets it.
  if (stepUp && !countGiven) o.params.pingsPerTarget = std::stoi(std::string(kStepUpTimes));
  if (o.targets.empty() && o.lists.empty()) out.error = "no target given";
  return out;
}

}  // namespace sondrel::cli
