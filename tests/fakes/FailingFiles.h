#pragma once
// The real files, except that whole-file replacements of chosen paths fail as
// a full disk would: for tests that need the rest of the folder real. A test
// may also step in just before a lock is taken.

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>

#include "core/ports/FileService.h"

namespace sondrel::fakes {

class FailingFiles final : public FileService {
 public:
  explicit FailingFiles(FileService& inner) : inner_(inner) {}
  // replaceFile of a path containing `part` fails with `code`, every time.
  std::string failReplaceOf;
  int code = ENOSPC;
  // Called with the path of each lockFile before the lock is taken.
  std::function<void(const std::string&)> beforeLock;

  std::string uniqueTempPath(std::string_view f, std::string_view n) override { return inner_.uniqueTempPath(f, n); }
  void removeStaleTemporaries(const std::string& f, std::string_view n) override { inner_.removeStaleTemporaries(f, n); }
  Result<void> writeNewFile(const std::string& p, std::string_view b, bool x) override { return inner_.writeNewFile(p, b, x); }
  Result<void> replaceFile(const std::string& p, std::string_view b) override {
    if (!failReplaceOf.empty() && p.find(failReplaceOf) != std::string::npos)
      return Error{code, "Cannot write " + p + ": " + std::strerror(code)};
    return inner_.replaceFile(p, b);
  }
  Result<void> copyIn(const std::string& f, const std::string& t) override { return inner_.copyIn(f, t); }
  Result<std::string> readFile(const std::string& p) override { return inner_.readFile(p); }
  Result<void> renameFile(const std::string& f, const std::string& t) override { return inner_.renameFile(f, t); }
  Result<void> linkFile(const std::string& f, const std::string& t) override { return inner_.linkFile(f, t); }
  Result<void> placeNewFile(const std::string& f, const std::string& t) override { return inner_.placeNewFile(f, t); }
  bool removeFile(const std::string& p) override { return inner_.removeFile(p); }
  bool fileExists(const std::string& p) override { return inner_.fileExists(p); }
  std::optional<std::int64_t> fileSize(const std::string& p) override { return inner_.fileSize(p); }
  std::optional<FileStamp> fileStamp(const std::string& p) override { return inner_.fileStamp(p); }
  std::vector<std::string> folderNames(const std::string& f) override { return inner_.folderNames(f); }
  void makeFolders(const std::string& p) override { inner_.makeFolders(p); }
  std::string programFolder() override { return inner_.programFolder(); }
  Result<void> checkFolderWritable(const std::string& f) override { return inner_.checkFolderWritable(f); }
  std::optional<std::string> environment(const std::string& n) override { return inner_.environment(n); }
  Result<std::unique_ptr<FolderLock>> lockFile(const std::string& p) override {
    if (beforeLock) beforeLock(p);
    return inner_.lockFile(p);
  }
  bool lockedElsewhere(const std::string& p) override { return inner_.lockedElsewhere(p); }
  std::unique_ptr<AppendLog> newAppendLog() override { return inner_.newAppendLog(); }

 private:
  FileService& inner_;
};

}  // namespace sondrel::fakes
