#pragma once
// The file operations of the data folder that must survive a full disk or a
// crash: whole files written under a temporary name and renamed into place,
// and the append-only run log that knows whether it stands at a line start.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/common/Result.h"
#include "core/ports/FileService.h"

namespace sondrel {

// A path in `folder` (ending in "/") for a temporary file that no other
// process, and no other call in this one, uses: "." + name + "." + pid + "."
// + counter + ".tmp".
std::string UniqueTempPath(std::string_view folder, std::string_view name);

// Creates `path` (it must not exist yet), writes `bytes`, syncs and closes.
// On failure nothing is left at `path`.
Result<void> WriteNewFile(const std::string& path, std::string_view bytes);

// rename(2): `to` is replaced in one step.
Result<void> RenameFile(const std::string& from, const std::string& to);
// A second name for an existing file; fails when `to` exists.
Result<void> LinkFile(const std::string& from, const std::string& to);
// Removes a file also when it is read-only; a missing file is no failure.
bool RemoveFile(const std::string& path);
bool FileExists(const std::string& path);

// Whether new files can be made in `folder`: the reason (strerror text, with
// the error code) when not. Also right for root, whom permission bits do not
// stop: a read-only file system or a file in the folder's place still fail.
Result<void> CheckFolderWritable(const std::string& folder);

// A file appended to one whole line per call. After a failed or short write
// the file is cut back to its last whole line; where that cannot be done the
// next line starts with a line end of its own, so no two lines are glued.
class AppendOnlyLog final : public AppendLog {
 public:
  using Writer = AppendLog::Writer;

  AppendOnlyLog();
  ~AppendOnlyLog() override;
  AppendOnlyLog(const AppendOnlyLog&) = delete;
  AppendOnlyLog& operator=(const AppendOnlyLog&) = delete;

  // Creates `path` (it must not exist yet) holding `firstLines`, synced, and
  // keeps it open for appending. The file may then be renamed: the log
  // follows it.
  Result<void> create(const std::string& path, std::string_view firstLines) override;
  // Appends one line (`line` ends with its line end) in one write.
  Result<void> appendLine(std::string_view line) override;
  void close() override;

  bool isOpen() const override { return fd_ >= 0; }
  bool atLineStart() const override { return atLineStart_; }
  void setWriter(Writer writer) override;

 private:
  int fd_ = -1;
  std::string path_;
  off_t wholeSize_ = 0;  // bytes up to the end of the last whole line
  bool atLineStart_ = true;
  Writer writer_;

  // Writes all of `bytes`; the count written before a failure otherwise.
  bool writeAll(std::string_view bytes, std::size_t& written);
};

// The file service on this system's files.
class LinuxFileService final : public FileService {
 public:
  std::string uniqueTempPath(std::string_view folder, std::string_view name) override;
  void removeStaleTemporaries(const std::string& folder, std::string_view name) override;
  Result<void> writeNewFile(const std::string& path, std::string_view bytes,
                            bool executable = false) override;
  Result<void> replaceFile(const std::string& path, std::string_view bytes) override;
  Result<void> copyIn(const std::string& from, const std::string& to) override;
  Result<std::string> readFile(const std::string& path) override;
  Result<void> readPieces(const std::string& path,
                          const std::function<void(std::string_view)>& piece) override;
  Result<std::unique_ptr<std::istream>> openForReading(const std::string& path) override;
  void adviseBulkMemory(void* data, std::size_t bytes) override;
  Result<void> writeNewFileFrom(const std::string& path, std::string_view head,
                                const std::string& from,
                                const std::vector<FileByteRange>& ranges) override;
  Result<void> renameFile(const std::string& from, const std::string& to) override;
  Result<void> linkFile(const std::string& from, const std::string& to) override;
  Result<void> placeNewFile(const std::string& from, const std::string& to) override;
  bool removeFile(const std::string& path) override;
  bool fileExists(const std::string& path) override;
  std::optional<std::int64_t> fileSize(const std::string& path) override;
  std::optional<FileStamp> fileStamp(const std::string& path) override;
  std::vector<std::string> folderNames(const std::string& folder) override;
  void makeFolders(const std::string& path) override;
  std::string programFolder() override;
  Result<void> checkFolderWritable(const std::string& folder) override;
  std::optional<std::string> environment(const std::string& name) override;
  Result<std::unique_ptr<FolderLock>> lockFile(const std::string& path) override;
  bool lockedElsewhere(const std::string& path) override;
  std::unique_ptr<AppendLog> newAppendLog() override;
};

// The one service on the real files, shared by all who are not given another.
FileService& SystemFiles();

// ApplicationDataFolder and DataFolder with this process's environment and
// files (the system's file service).
std::string ApplicationDataFolder();
std::string DataFolder(std::string_view base);
inline std::string DataFolder() { return DataFolder(ApplicationDataFolder()); }

}  // namespace sondrel
