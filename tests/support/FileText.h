#pragma once
// Reading back what the program wrote, for comparison with literal bytes.

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace sondrel::testing_files {

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The names in a folder.
inline std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    names.insert(e.path().filename().string());
  return names;
}

}  // namespace sondrel::testing_files
