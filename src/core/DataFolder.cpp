#include "core/DataFolder.h"

#include "core/ports/FileService.h"

#include <filesystem>
#include <system_error>

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

std::string ProgramFolder() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "./";
  return AddSlash(exe.parent_path().string());
}

void MakeFolders(const std::string& path) {
  namespace fs = std::filesystem;
  fs::path p = fs::path(path).lexically_normal();
  if (!p.has_filename()) p = p.parent_path();  // a trailing "/"
  // Every missing level from the top: ~/.local/share is often missing on a
  // fresh account.
  fs::path built;
  for (const fs::path& part : p) {
    built /= part;
    std::error_code ec;
    if (fs::is_directory(built, ec)) continue;
    if (!fs::create_directory(built, ec) || ec) return;
    // Only folders made here are narrowed: they hold the user's data.
    fs::permissions(built, fs::perms::owner_all, fs::perm_options::replace, ec);
  }
}

std::string DataFolder(std::string_view base) {
  std::string root = base.size() < 3 ? ProgramFolder() : std::string(base);
  std::string folder = AddSlash(root) + std::string(kDataFolderName);
  MakeFolders(folder);
  return AddSlash(folder);
}

std::string ScanProgramName() {
  std::string digits;
  for (char c : kVersionDate)
    if (c != '.') digits += c;
  return "PingIPscan" + digits;
}

}  // namespace sondrel
