#pragma once
// The reading of every sondrel-cli command's arguments, on Qt's command-line
// parser: a short option's value attached or following (-c5, -c 5), a long
// option's after "=" or following (--list=T, --list T), short flags
// compacted, "--" ending the options, "-" and "" plain arguments. Each
// command gives its options and turns what was read into its own settings
// and texts.

#include <string>
#include <utility>
#include <vector>

namespace sondrel::cli {

struct OptionForm {
  std::vector<std::string> names;  // without dashes, the first one naming it: {"o", "output"}
  bool takesValue = false;
};

struct CommandArguments {
  enum class Fault { None, UnknownOption, MissingValue };
  // The options as given, in order: the first name of each and its value
  // ("" for a flag).
  std::vector<std::pair<std::string, std::string>> options;
  // The other arguments, in order, "--" left out.
  std::vector<std::string> positionals;
  Fault fault = Fault::None;
  // The argument at fault: the unknown option ("-x", or "--flag=value" for a
  // flag given a value), or the option left without its value, as typed.
  std::string faultArgument;
  bool ok() const { return fault == Fault::None; }
};

// `args`: the command's arguments (argv after the command's name). Bytes
// pass through unchanged, whatever their encoding.
CommandArguments ReadArguments(const std::vector<std::string>& args, const std::vector<OptionForm>& forms);

// The fault as ping and scan word it ("unknown option -x", "option -c needs
// a value"); "" when there is none.
std::string FaultText(const CommandArguments& read);

}  // namespace sondrel::cli
