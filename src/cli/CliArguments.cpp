#include "cli/CliArguments.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>
#include <map>

namespace sondrel::cli {
namespace {

// Latin-1 carries every byte as one character and back, so that targets and
// titles in any encoding reach the command as they were typed.
QString Carried(const std::string& bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
std::string Bytes(const QString& carried) { return carried.toLatin1().toStdString(); }

// A long option's name and whether a value is attached ("--name=value").
std::string LongName(const std::string& arg, bool& attached) {
  const std::size_t eq = arg.find('=');
  attached = eq != std::string::npos;
  return arg.substr(2, attached ? eq - 2 : std::string::npos);
}

}  // namespace

CommandArguments ReadArguments(const std::vector<std::string>& args, const std::vector<OptionForm>& forms) {
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
  parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
  std::map<std::string, const OptionForm*> byName;
  for (const OptionForm& form : forms) {
    QStringList names;
    for (const std::string& name : form.names) {
      names << QString::fromStdString(name);
      byName[name] = &form;
    }
    QCommandLineOption option(names);
    if (form.takesValue) option.setValueName(QStringLiteral("value"));
    parser.addOption(option);
  }
  QStringList line{QStringLiteral("sondrel-cli")};
  for (const std::string& arg : args) line << Carried(arg);

  CommandArguments out;
  if (!parser.parse(line)) {
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
      const std::string name = Bytes(unknown.front());
      out.fault = CommandArguments::Fault::UnknownOption;
      out.faultArgument = (name.size() == 1 ? "-" : "--") + name;
      return out;
    }
    // A flag given a value is as unknown as any other option.
    for (const std::string& arg : args) {
      if (arg == "--") break;
      if (arg.rfind("--", 0) != 0) continue;
      bool attached = false;
      const auto known = byName.find(LongName(arg, attached));
      if (attached && known != byName.end() && !known->second->takesValue) {
        out.fault = CommandArguments::Fault::UnknownOption;
        out.faultArgument = arg;
        return out;
      }
    }
    // Otherwise the parser takes the next argument as the value, whatever it
    // is: only the last one can lack its value.
    out.fault = CommandArguments::Fault::MissingValue;
    out.faultArgument = args.empty() ? std::string() : args.back();
    return out;
  }
  // The options in the order given, each occurrence with its own value.
  std::map<std::string, int> taken;
  for (const QString& found : parser.optionNames()) {
    const OptionForm& form = *byName.at(Bytes(found));
    const std::string& first = form.names.front();
    const int k = taken[first]++;
    std::string value;
    if (form.takesValue) value = Bytes(parser.values(QString::fromStdString(first)).value(k));
    out.options.emplace_back(first, std::move(value));
  }
  for (const QString& positional : parser.positionalArguments()) out.positionals.push_back(Bytes(positional));
  return out;
}

std::string FaultText(const CommandArguments& read) {
  switch (read.fault) {
    case CommandArguments::Fault::UnknownOption:
      return "unknown option " + read.faultArgument;
    case CommandArguments::Fault::MissingValue:
      return "option " + read.faultArgument + " needs a value";
    case CommandArguments::Fault::None:
      break;
  }
  return {};
}

}  // namespace sondrel::cli
