#pragma once
// The file operations of the data folder, behind one interface so that the
// run log, the list store and the worker extraction share one way of writing
// files that survives a full disk or a crash, and tests can put failures in.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "core/common/FileStamp.h"
#include "core/common/Result.h"

namespace sondrel {

// A file appended to one whole line per call. After a failed or short write
// the file is cut back to its last whole line; where that cannot be done the
// next line starts with a line end of its own, so no two lines are glued.
class AppendLog {
 public:
  // Takes the place of write(2); tests put failures in. Null: write(2).
  using Writer = std::function<ssize_t(int fd, const char* data, std::size_t size)>;

  virtual ~AppendLog() = default;
  // Creates `path` (it must not exist yet) holding `firstLines`, synced, and
  // keeps it open for appending. The file may then be renamed: the log
  // follows it.
  virtual Result<void> create(const std::string& path, std::string_view firstLines) = 0;
  // Appends one line (`line` ends with its line end) in one write.
  virtual Result<void> appendLine(std::string_view line) = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;
  virtual bool atLineStart() const = 0;
  virtual void setWriter(Writer writer) = 0;
};

// Held while it lives: an exclusive lock on a file of the data folder.
class FolderLock {
 public:
  virtual ~FolderLock() = default;
};

// A part of a file: `size` bytes from `offset`.
struct FileByteRange {
  std::int64_t offset = 0;
  std::int64_t size = 0;
};

class FileService {
 public:
  virtual ~FileService() = default;

  // A path in `folder` for a temporary file that no other process, and no
  // other call in this one, uses: "." + name + "." + pid + "." + counter +
  // ".tmp".
  virtual std::string uniqueTempPath(std::string_view folder, std::string_view name) = 0;
  // Removes the temporaries of `name` in `folder` (uniqueTempPath's names)
  // that writers no longer running left behind, killed before they renamed
  // them; those of running processes, this one among them, stay. Without an
  // answer to which processes run, nothing is removed.
  virtual void removeStaleTemporaries(const std::string& folder, std::string_view name) {
    (void)folder;
    (void)name;
  }
  // Creates `path` (it must not exist yet), writes `bytes`, syncs and
  // closes; with `executable` the file gets mode 0755. On failure nothing is
  // left at `path`.
  virtual Result<void> writeNewFile(const std::string& path, std::string_view bytes,
                                    bool executable = false) = 0;
  // Puts `bytes` in the place of `path` in one step: written whole and synced
  // under a temporary name in the same folder, then renamed. The file holds
  // what deleting and writing it anew would give; on failure it is as it was.
  virtual Result<void> replaceFile(const std::string& path, std::string_view bytes) = 0;
  // Copies the file `from` (anywhere) to the new name `to` the same way:
  // whole or not at all, never over an existing `to`.
  virtual Result<void> copyIn(const std::string& from, const std::string& to) = 0;
  // The whole content of a file.
  virtual Result<std::string> readFile(const std::string& path) = 0;
  // The content of a file handed to `piece` in order, in pieces of a bounded
  // size, so a file of any size can be read in little memory. (Here: the
  // whole file as one piece, for services that read no other way.)
  virtual Result<void> readPieces(const std::string& path,
                                  const std::function<void(std::string_view)>& piece) {
    auto bytes = readFile(path);
    if (!bytes) return bytes.error();
    piece(bytes.value());
    return {};
  }
  // The file as a stream, for readers that parse as they read (the run log's
  // reload); ENOENT or the reason when it cannot be opened. (Here: the whole
  // file read first, for services that read no other way.)
  virtual Result<std::unique_ptr<std::istream>> openForReading(const std::string& path) {
    auto bytes = readFile(path);
    if (!bytes) return bytes.error();
    return std::unique_ptr<std::istream>(std::make_unique<std::istringstream>(std::move(bytes.value())));
  }
  // Memory about to be filled in one sweep with what was read (the records of
  // a reload): the service may ask the system for large pages behind it.
  // Only a hint; here nothing.
  virtual void adviseBulkMemory(void* data, std::size_t bytes) {
    (void)data;
    (void)bytes;
  }
  // writeNewFile of `head` followed by the given parts of the file `from`,
  // copied in pieces of a bounded size. (Here: through memory.)
  virtual Result<void> writeNewFileFrom(const std::string& path, std::string_view head,
                                        const std::string& from,
                                        const std::vector<FileByteRange>& ranges) {
    std::string bytes(head);
    if (!ranges.empty()) {
      auto old = readFile(from);
      if (!old) return old.error();
      const std::string_view all = old.value();
      for (const FileByteRange& r : ranges)
        if (r.offset >= 0 && static_cast<std::size_t>(r.offset) <= all.size())
          bytes.append(all.substr(static_cast<std::size_t>(r.offset), static_cast<std::size_t>(r.size)));
    }
    return writeNewFile(path, bytes);
  }

  // rename(2): `to` is replaced in one step.
  virtual Result<void> renameFile(const std::string& from, const std::string& to) = 0;
  // A second name for an existing file; fails when `to` exists.
  virtual Result<void> linkFile(const std::string& from, const std::string& to) = 0;
  // Gives the file `from` the name `to` unless `to` exists (then EEXIST and
  // `from` stays); works also where hard links do not.
  virtual Result<void> placeNewFile(const std::string& from, const std::string& to) = 0;
  // Removes a file also when it is read-only; a missing file is no failure.
  virtual bool removeFile(const std::string& path) = 0;
  // Whether anything (a file, a folder, a dangling link) has this name.
  virtual bool fileExists(const std::string& path) = 0;
  // The size in bytes; nothing when there is no such file.
  virtual std::optional<std::int64_t> fileSize(const std::string& path) = 0;
  // Which file has this name now, at which size and change; nothing when
  // there is no such file.
  virtual std::optional<FileStamp> fileStamp(const std::string& path) = 0;
  // The names (not paths) in `folder`; empty when it cannot be read.
  virtual std::vector<std::string> folderNames(const std::string& folder) = 0;

  // Creates the folder and every missing folder above it, each new one with
  // mode 0700; existing folders are left as they are. Failures are silent:
  // the files in it fail as their owners say.
  virtual void makeFolders(const std::string& path) = 0;
  // The folder this program's executable lies in, ending in "/".
  virtual std::string programFolder() = 0;

  // Whether new files can be made in `folder`: the reason (strerror text,
  // with the error code) when not.
  virtual Result<void> checkFolderWritable(const std::string& folder) = 0;
  // An environment variable; nothing when it is not set.
  virtual std::optional<std::string> environment(const std::string& name) = 0;

  // An exclusive lock on `path` (created when missing; a folder is locked
  // itself). Fails with code EWOULDBLOCK when another holder has it.
  virtual Result<std::unique_ptr<FolderLock>> lockFile(const std::string& path) = 0;
  // True when another holder has the lock on `path` now.
  virtual bool lockedElsewhere(const std::string& path) = 0;

  virtual std::unique_ptr<AppendLog> newAppendLog() = 0;
};

}  // namespace sondrel
