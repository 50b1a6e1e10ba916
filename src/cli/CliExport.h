#pragma once
// "sondrel-cli export": the ping results export of the last logged run, in
// the window's text or CSV layout, to standard output or a file.

#include <cstdio>
#include <cstdint>
#include <string>
#include <vector>

namespace sondrel {
class FileService;
}

namespace sondrel::cli {

struct ExportOptions {
  bool help = false;
  bool csv = false;
  bool deleteLog = false;
  std::string outFile;  // empty: standard output
  std::int64_t runId = 0;  // --run: an archived run instead of the logged one
};

struct ParsedExport {
  ExportOptions options;
  std::string error;  // empty when the command line was understood
  bool ok() const { return error.empty(); }
};

// The arguments after "export".
ParsedExport ParseExportCommandLine(const std::vector<std::string>& args);
std::string ExportUsageText();

// Exit status: 0 written, 1 no logged result (nothing written), 3 the file
// could not be written or the log could not be deleted.
int RunExport(const ExportOptions& options, const std::string& dataFolder, FileService& files,
              std::FILE* out = stdout, std::FILE* err = stderr);

}  // namespace sondrel::cli
