#include "scan/ScanProgram.h"

#include <cerrno>
#include <cstring>

#include "core/common/DataFolder.h"
#include "core/ports/FileService.h"

namespace sondrel {

namespace {

Error SystemError(const std::string& what, int err) {
  return Error{err, what + ": " + std::strerror(err)};
}

}  // namespace

std::string ScanProgramPath(std::string_view dataFolder) {
  return AddSlash(dataFolder) + ScanProgramName();
}

Result<std::string> ExtractScanProgram(std::string_view dataFolder,
                                       std::span<const std::byte> bytes, FileService& files) {
  const std::string path = ScanProgramPath(dataFolder);
  // Pieces of an extraction killed half way are a program's size each.
  files.removeStaleTemporaries(AddSlash(dataFolder), ScanProgramName());
  if (files.fileExists(path)) return path;

  const std::string temp = files.uniqueTempPath(AddSlash(dataFolder), ScanProgramName());
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (auto written = files.writeNewFile(temp, text, true); !written) {
    const bool made = written.error().message.rfind("Cannot create", 0) != 0;
    return SystemError(made ? "cannot write " + path : "cannot create " + temp,
                       written.error().code);
  }
  // A file put there since the check stays: it is never replaced.
  auto placed = files.placeNewFile(temp, path);
  files.removeFile(temp);
  if (!placed && placed.error().code != EEXIST)
    return SystemError("cannot write " + path, placed.error().code);
  return path;
}

}  // namespace sondrel
