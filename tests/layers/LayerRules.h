#pragma once
// The layer rules of the sources (docs/ARCHITECTURE.md), checked on the text
// of every header and source file under a source root:
//   - core and the scan worker use no Qt, and core includes only core;
//   - only platform/ and the scan worker include the system's OS headers
//     (or <fstream>, <filesystem>);
//   - platform headers other than the Qt-typed service interfaces, and the
//     factories of the real services, are used only by the composition roots
//     (bin/, cli/, app/ui/Composition.cpp, the scan worker) and platform/;
//   - core and the engine (every folder but */ui/ and bin/) include no header
//     of a Qt module above Qt Core and no */ui/ header.

#include <filesystem>
#include <string>
#include <vector>

namespace sondrel::layers {

struct Breach {
  std::string file;  // relative to the source root
  int line = 0;
  std::string what;
};

// `windowModuleDirs`: the header folders of Qt Gui, Widgets and the other
// modules the engine must not use.
std::vector<Breach> FindLayerBreaches(const std::filesystem::path& sourceRoot,
                                      const std::vector<std::filesystem::path>& windowModuleDirs);

std::string Describe(const Breach& breach);

}  // namespace sondrel::layers
