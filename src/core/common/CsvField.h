#pragma once
// A field of a comma-separated list: as it is, or quoted (inner quotes
// doubled) when it holds a comma, a quote or a line break.

#include <string>

namespace sondrel {

inline std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

}  // namespace sondrel
