#include "core/common/DataFolder.h"

#include "core/ports/FileService.h"

namespace sondrel {

std::string AddSlash(std::string_view path) {
  std::string out(path);
  if (out.empty() || out.back() != '/') out += '/';
  return out;
}

std::string ApplicationDataFolder(FileService& files) {
  // A relative $XDG_DATA_HOME is invalid and ignored, as the XDG rules say.
  if (auto xdg = files.environment("XDG_DATA_HOME"); xdg && xdg->rfind("/", 0) == 0) return *xdg;
  if (auto home = files.environment("HOME"); home && !home->empty())
    return AddSlash(*home) + ".local/share";
  return {};
}

std::string DataFolder(FileService& files, std::string_view base) {
  std::string root = base.size() < 3 ? files.programFolder() : std::string(base);
  std::string folder = AddSlash(root) + std::string(kDataFolderName);
  files.makeFolders(folder);
  return AddSlash(folder);
}

std::string ScanProgramName() {
  std::string digits;
  for (char c : kVersionDate)
    if (c != '.') digits += c;
  return "PingIPscan" + digits;
}

}  // namespace sondrel
