#pragma once
// The command line of sondrel-cli: "ping [options] TARGET...". The options
// mirror the parameter lists of the window and go through the same rules.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/ping/PingParameters.h"

namespace sondrel::cli {

struct CliOptions {
  bool help = false;
  bool version = false;
  PingParameters params;
  std::vector<std::string> targets;  // addresses, names or ranges FIRST-LAST
  std::vector<std::string> lists;    // titles of stored groups and ranges
  bool alerts = false;               // the user's alert rules
  std::string onEvent;               // a program started for every alert
  bool notify = false;               // every alert told on the desktop
  bool json = false;                 // JSON lines in place of the rows and statistics
};

struct ParsedCommandLine {
  CliOptions options;
  std::string error;  // empty when the command line was understood
  bool ok() const { return error.empty(); }
};

// argv without the program name.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

// The --help text.
std::string UsageText();

// A whole number of digits alone, at least `lowest`; nothing otherwise.
std::optional<std::int32_t> WholeNumberOption(const std::string& text, std::int32_t lowest);
// "-s": a number of bytes, "step32", or a list of sizes, applied to `p`; the
// refusal text when it is none of them.
std::string ApplySizeOption(const std::string& text, PingParameters& p);

}  // namespace sondrel::cli
