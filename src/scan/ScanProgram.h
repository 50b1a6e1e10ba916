#pragma once
// Puts the scan worker carried inside this program on disk, beside the data
// files, so that scans can start it as a program of its own.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "core/common/Result.h"

namespace sondrel {

class FileService;

// AddSlash(folder) + ScanProgramName().
std::string ScanProgramPath(std::string_view dataFolder);

// Writes `bytes` to ScanProgramPath(dataFolder) with its run bits when no
// file (or link) is there, and returns the path. An existing file is left as
// it is and not read. The bytes are written to a temporary file first and
// linked into place, so a failure (disk full, read-only folder) leaves no
// half-written program and never replaces one that appeared meanwhile.
Result<std::string> ExtractScanProgram(std::string_view dataFolder,
                                       std::span<const std::byte> bytes, FileService& files);

}  // namespace sondrel
