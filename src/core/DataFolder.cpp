#include "core/DataFolder.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace sondrel {

std::string AddSlash(std::string_view path) {
  std::string out(path);
  if (out.empty() || out.back() != '/') out += '/';
  return out;
}

std::string ApplicationDataFolder() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return xdg;
  if (const char* home = std::getenv("HOME"); home && *home)
    return AddSlash(home) + ".local/share";
  return {};
}

std::string ProgramFolder() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "./";
  return AddSlash(exe.parent_path().string());
}

std::string DataFolder(std::string_view base) {
  std::string root = base.size() < 3 ? ProgramFolder() : std::string(base);
  std::string folder = AddSlash(root) + std::string(kDataFolderName);
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) std::filesystem::create_directory(folder, ec);
  return AddSlash(folder);
}

std::string ScanProgramName() {
  std::string digits;
  for (char c : kVersionDate)
    if (c != '.') digits += c;
  return "PingIPscan" + digits;
}

}  // namespace sondrel
