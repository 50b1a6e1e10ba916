#pragma once
// A file-backed target list for the editor tests, following the list file
// rules (CR LF, trimmed lines, "=" comments, stop at the first empty line,
// sorted on load, a blank stop line after a rewrite), in the data folder of
// the test's XDG_DATA_HOME.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/AddressHelpers.h"
#include "core/DataFolder.h"
#include "iplist/IPListLines.h"

namespace sondrel::testing_support {

class ListFileStore final : public IIPListLines {
 public:
  ListFileStore() : path_(DataFolder() + std::string(kIPListFile)) {}

  const std::string& path() const { return path_; }

  void Write(const std::vector<std::string>& lines) {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    for (const auto& l : lines) out << l << "\r\n";
    out << " \r\n";
  }

  void Load() {
    lines_.clear();
    std::ifstream in(path_, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      line = TrimBlanks(line);
      if (line.empty()) break;
      if (line[0] != '=') lines_.push_back(line);
    }
    SortEntries(lines_);
    ++loads;
  }

  std::vector<std::string> Lines() const override { return lines_; }
  void Rewrite(const std::vector<std::string>& lines) override {
    Write(lines);
    Load();
  }

  int loads = 0;

 private:
  std::string path_;
  std::vector<std::string> lines_;
};

}  // namespace sondrel::testing_support
