#pragma once
// Files in memory, paths as plain keys. Failures are put in by operation name
// and a part of the path.

#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/ports/FileService.h"

namespace sondrel::fakes {

class FakeFileService final : public FileService {
 public:
  std::map<std::string, std::string> files;
  std::map<std::string, std::string> env;
  std::set<std::string> lockedByOthers;  // lock paths another process holds
  std::set<std::string> heldLocks;
  std::vector<std::string> foldersMade;  // makeFolders calls, in order
  bool executableMade = false;

  // The next call of `operation` ("write", "rename", "link", "place",
  // "lock", "append") on a path containing `pathPart` fails with `code`.
  void failOnce(const std::string& operation, const std::string& pathPart, int code) {
    failures_.push_back({operation, pathPart, code});
  }

  std::string uniqueTempPath(std::string_view folder, std::string_view name) override {
    std::string path(folder);
    if (path.empty() || path.back() != '/') path += '/';
    return path + "." + std::string(name) + ".1." + std::to_string(++counter_) + ".tmp";
  }
  Result<void> writeNewFile(const std::string& path, std::string_view bytes,
                            bool executable = false) override {
    if (auto e = failure("write", path)) return *e;
    if (files.count(path)) return Error{EEXIST, "Cannot create " + path};
    files[path] = std::string(bytes);
    executableMade = executableMade || executable;
    return {};
  }
  Result<void> replaceFile(const std::string& path, std::string_view bytes) override {
    if (auto e = failure("write", path)) return *e;
    files[path] = std::string(bytes);
    return {};
  }
  Result<void> copyIn(const std::string& from, const std::string& to) override {
    auto bytes = readFile(from);
    if (!bytes) return bytes.error();
    return writeNewFile(to, bytes.value());
  }
  Result<std::string> readFile(const std::string& path) override {
    if (auto e = failure("read", path)) return *e;
    auto it = files.find(path);
    if (it == files.end()) return Error{ENOENT, "Cannot read " + path};
    return it->second;
  }
  Result<void> renameFile(const std::string& from, const std::string& to) override {
    if (auto e = failure("rename", to)) return *e;
    auto it = files.find(from);
    if (it == files.end()) return Error{ENOENT, "Cannot rename " + from};
    files[to] = it->second;
    files.erase(from);
    renamed_[from] = to;
    return {};
  }
  Result<void> linkFile(const std::string& from, const std::string& to) override {
    if (auto e = failure("link", to)) return *e;
    if (!files.count(from)) return Error{ENOENT, "Cannot link " + from};
    if (files.count(to)) return Error{EEXIST, "Cannot link " + from};
    files[to] = files[from];
    return {};
  }
  Result<void> placeNewFile(const std::string& from, const std::string& to) override {
    if (auto e = failure("place", to)) return *e;
    if (files.count(to)) return Error{EEXIST, "Cannot place " + to};
    return linkFile(from, to);
  }
  bool removeFile(const std::string& path) override {
    files.erase(path);
    return true;
  }
  bool fileExists(const std::string& path) override { return files.count(path) > 0; }
  std::optional<std::int64_t> fileSize(const std::string& path) override {
    auto it = files.find(path);
    if (it == files.end()) return std::nullopt;
    return static_cast<std::int64_t>(it->second.size());
  }
  // The content stands for the file: another content, another stamp.
  std::optional<FileStamp> fileStamp(const std::string& path) override {
    auto it = files.find(path);
    if (it == files.end()) return std::nullopt;
    return FileStamp{0, std::hash<std::string>{}(it->second),
                     static_cast<std::int64_t>(it->second.size()), 0};
  }
  std::vector<std::string> folderNames(const std::string& folder) override {
    std::vector<std::string> names;
    for (const auto& [path, bytes] : files)
      if (path.rfind(folder, 0) == 0 && path.find('/', folder.size()) == std::string::npos)
        names.push_back(path.substr(folder.size()));
    return names;
  }
  // Folders are not kept: every path is a file's. The ones asked for are.
  void makeFolders(const std::string& path) override { foldersMade.push_back(path); }
  std::string programFolder() override { return "/opt/sondrel/"; }
  Result<void> checkFolderWritable(const std::string& folder) override {
    if (auto e = failure("folder", folder)) return *e;
    return {};
  }
  std::optional<std::string> environment(const std::string& name) override {
    auto it = env.find(name);
    if (it == env.end()) return std::nullopt;
    return it->second;
  }
  Result<std::unique_ptr<FolderLock>> lockFile(const std::string& path) override {
    if (auto e = failure("lock", path)) return *e;
    if (lockedByOthers.count(path) || heldLocks.count(path))
      return Error{EWOULDBLOCK, "Cannot lock " + path};
    return std::unique_ptr<FolderLock>(std::make_unique<Lock>(*this, path));
  }
  bool lockedElsewhere(const std::string& path) override { return lockedByOthers.count(path) > 0; }
  std::unique_ptr<AppendLog> newAppendLog() override { return std::make_unique<Log>(*this); }

 private:
  struct Failure {
    std::string operation;
    std::string pathPart;
    int code;
  };
  std::vector<Failure> failures_;
  std::map<std::string, std::string> renamed_;  // an open log follows its file
  int counter_ = 0;

  std::optional<Error> failure(const std::string& operation, const std::string& path) {
    for (auto it = failures_.begin(); it != failures_.end(); ++it) {
      if (it->operation == operation && path.find(it->pathPart) != std::string::npos) {
        Error e{it->code, "Cannot " + operation + " " + path + ": " + std::strerror(it->code)};
        failures_.erase(it);
        return e;
      }
    }
    return std::nullopt;
  }

  class Lock final : public FolderLock {
   public:
    Lock(FakeFileService& owner, std::string path) : owner_(owner), path_(std::move(path)) {
      owner_.heldLocks.insert(path_);
    }
    ~Lock() override { owner_.heldLocks.erase(path_); }

   private:
    FakeFileService& owner_;
    std::string path_;
  };

  class Log final : public AppendLog {
   public:
    explicit Log(FakeFileService& owner) : owner_(owner) {}
    Result<void> create(const std::string& path, std::string_view firstLines) override {
      if (auto made = owner_.writeNewFile(path, firstLines); !made) return made;
      path_ = path;
      open_ = true;
      return {};
    }
    Result<void> appendLine(std::string_view line) override {
      if (!open_) return Error{EBADF, "The log is not open."};
      for (int hops = 0; !owner_.files.count(path_) && owner_.renamed_.count(path_) && hops < 16;
           ++hops)
        path_ = owner_.renamed_[path_];
      if (auto e = owner_.failure("append", path_)) return *e;
      auto it = owner_.files.find(path_);
      if (it == owner_.files.end()) return Error{ENOENT, "Cannot write " + path_};
      it->second += line;
      return {};
    }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    bool atLineStart() const override { return true; }
    void setWriter(Writer) override {}

   private:
    FakeFileService& owner_;
    std::string path_;
    bool open_ = false;
  };
};

}  // namespace sondrel::fakes
