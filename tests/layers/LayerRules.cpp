#include "layers/LayerRules.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <regex>
#include <string_view>

namespace sondrel::layers {
namespace fs = std::filesystem;

namespace {

// The factories of the real services.
const std::regex kFactoryCall(R"(\b(SystemFiles|MakeProcessService|SystemResolver|SystemNetworkSettings|MakeHttpServer)\s*\()");
const std::regex kInclude(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");

bool StartsWith(std::string_view text, std::string_view head) { return text.substr(0, head.size()) == head; }

bool OsHeader(std::string_view name) {
  static constexpr std::array<std::string_view, 13> kExact = {
      "unistd.h", "fcntl.h",  "poll.h",    "dirent.h", "spawn.h",  "signal.h",  "netdb.h",
      "resolv.h", "ifaddrs.h", "termios.h", "dlfcn.h", "fstream", "filesystem"};
  static constexpr std::array<std::string_view, 5> kFolders = {"sys/", "netinet/", "arpa/", "net/",
                                                               "linux/"};
  if (name == "sys/types.h") return false;  // types only, no call
  if (std::find(kExact.begin(), kExact.end(), name) != kExact.end()) return true;
  return std::any_of(kFolders.begin(), kFolders.end(), [&](std::string_view f) { return StartsWith(name, f); });
}

struct Place {
  bool core = false;
  bool platform = false;
  bool worker = false;
  bool ui = false;
  bool bin = false;
  bool root = false;  // may build the real services
};

Place PlaceOf(const std::string& rel) {
  Place p;
  const std::string top = rel.substr(0, rel.find('/'));
  const std::string rest = rel.substr(std::min(rel.size(), top.size() + 1));
  p.core = top == "core";
  p.platform = top == "platform";
  p.worker = StartsWith(rel, "scan/worker/");
  p.ui = StartsWith(rest, "ui/");
  p.bin = top == "bin";
  p.root = p.platform || p.worker || p.bin || top == "cli" || rel == "app/ui/Composition.cpp";
  return p;
}

bool WindowModuleHeader(const std::string& name, const std::vector<fs::path>& dirs) {
  for (const fs::path& dir : dirs) {
    const std::string module = dir.filename().string();  // "QtWidgets"
    if (StartsWith(name, module + "/")) return true;
    if (name.find('/') == std::string::npos && fs::exists(dir / name)) return true;
  }
  return false;
}

void CheckFile(const fs::path& path, const std::string& rel, const std::vector<fs::path>& dirs,
               std::vector<Breach>& out) {
  const Place place = PlaceOf(rel);
  std::ifstream in(path);
  std::string line;
  int number = 0;
  bool inComment = false;
  while (std::getline(in, line)) {
    ++number;
    // Comments say what code may not do; only code counts.
    std::string code;
    for (std::size_t k = 0; k < line.size(); ++k) {
      if (inComment) {
        if (line.compare(k, 2, "*/") == 0) {
          inComment = false;
          ++k;
        }
        continue;
      }
      if (line.compare(k, 2, "/*") == 0) {
        inComment = true;
        ++k;
        continue;
      }
      if (line.compare(k, 2, "//") == 0) break;
      code += line[k];
    }
    auto breach = [&](std::string what) { out.push_back({rel, number, std::move(what)}); };
    std::smatch m;
    if (std::regex_search(code, m, kInclude)) {
      const bool angle = m[1] == "<";
      const std::string name = m[2];
      if (angle && (place.core || place.worker) && StartsWith(name, "Q"))
        breach("includes <" + name + ">: no Qt in " + std::string(place.core ? "core" : "the scan worker"));
      if (!angle && place.core && !StartsWith(name, "core/"))
        breach("includes \"" + name + "\": core includes only core");
      if (angle && !place.platform && !place.worker && OsHeader(name))
        breach("includes <" + name + ">: only platform/ reaches the OS");
      if (!angle && !place.root && StartsWith(name, "platform/"))
        breach("includes \"" + name + "\": a platform implementation outside a composition root");
      if (!place.ui && !place.bin && !place.platform) {
        if (angle && WindowModuleHeader(name, dirs))
          breach("includes <" + name + ">: a window module's header outside */ui/");
        if (!angle && name.find("/ui/") != std::string::npos)
          breach("includes \"" + name + "\": a window's header outside */ui/");
      }
      continue;
    }
    if (!place.root && std::regex_search(code, m, kFactoryCall))
      breach("calls " + m[1].str() + "(): the real services are built by a composition root");
  }
}

}  // namespace

std::vector<Breach> FindLayerBreaches(const fs::path& sourceRoot, const std::vector<fs::path>& windowModuleDirs) {
  std::vector<Breach> out;
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(sourceRoot)) {
    const std::string ext = entry.path().extension().string();
    if (entry.is_regular_file() && (ext == ".h" || ext == ".cpp")) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files)
    CheckFile(file, fs::relative(file, sourceRoot).generic_string(), windowModuleDirs, out);
  return out;
}

std::string Describe(const Breach& b) { return b.file + ":" + std::to_string(b.line) + ": " + b.what; }

}  // namespace sondrel::layers
