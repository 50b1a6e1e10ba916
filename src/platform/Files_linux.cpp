#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <vector>

#include "core/common/DataFolder.h"
#include "platform/Files_linux.h"
#include "platform/Memory.h"

namespace sondrel {
namespace {

Error systemError(int err, const std::string& what) {
  return Error{err, what + ": " + std::strerror(err)};
}

// Closes a file being written new; when anything failed, removes it and says
// why (the first error seen).
Result<void> closeNewFile(int fd, const std::string& path, bool ok, int err) {
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok) return {};
  ::unlink(path.c_str());
  return systemError(err, "Cannot write " + path);
}

std::atomic<std::uint64_t> tempCounter{0};

}  // namespace

std::string UniqueTempPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (path.empty() || path.back() != '/') path += '/';
  path += '.';
  path += name;
  path += '.' + std::to_string(::getpid()) + '.' + std::to_string(++tempCounter) + ".tmp";
  return path;
}

Result<void> WriteNewFile(const std::string& path, std::string_view bytes) {
  AppendOnlyLog file;
  auto made = file.create(path, bytes);
  file.close();
  return made;
}

namespace {

// A new file with mode 0755 (whatever the umask), written whole and synced.
Result<void> writeNewProgram(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return systemError(errno, "Cannot create " + path);
  std::size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      ok = false;
    } else {
      done += static_cast<std::size_t>(n);
    }
  }
  ok = ok && ::fchmod(fd, 0755) == 0 && ::fsync(fd) == 0;
  int err = ok ? 0 : errno;
  return closeNewFile(fd, path, ok, err);
}

class FlockLock final : public FolderLock {
 public:
  explicit FlockLock(int fd) : fd_(fd) {}
  ~FlockLock() override {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
  }
  FlockLock(const FlockLock&) = delete;
  FlockLock& operator=(const FlockLock&) = delete;

 private:
  int fd_;
};

// The folder part of `path`, ending in "/".
std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

std::string nameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string LinuxFileService::uniqueTempPath(std::string_view folder, std::string_view name) {
  return UniqueTempPath(folder, name);
}

void LinuxFileService::removeStaleTemporaries(const std::string& folder, std::string_view name) {
  const std::string prefix = "." + std::string(name) + ".";
  const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  for (const std::string& entry : folderNames(base)) {
    // "." NAME "." PID "." COUNTER ".tmp", as UniqueTempPath makes them.
    if (entry.size() <= prefix.size() + 4 || entry.rfind(prefix, 0) != 0 ||
        entry.compare(entry.size() - 4, 4, ".tmp") != 0)
      continue;
    const std::string_view middle(entry.data() + prefix.size(), entry.size() - prefix.size() - 4);
    const std::size_t dot = middle.find('.');
    if (dot == 0 || dot == std::string_view::npos || dot + 1 == middle.size() ||
        middle.find_first_not_of("0123456789.") != std::string_view::npos ||
        middle.find('.', dot + 1) != std::string_view::npos)
      continue;
    long pid = 0;
    if (std::from_chars(middle.data(), middle.data() + dot, pid).ec != std::errc() || pid <= 0 ||
        pid > std::numeric_limits<pid_t>::max() || pid == ::getpid())
      continue;
    // Only a process known to be gone: a running one may be writing it now.
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    RemoveFile(base + entry);
  }
}

Result<void> LinuxFileService::writeNewFile(const std::string& path, std::string_view bytes,
                                            bool executable) {
  return executable ? writeNewProgram(path, bytes) : WriteNewFile(path, bytes);
}

Result<void> LinuxFileService::replaceFile(const std::string& path, std::string_view bytes) {
  const std::string temp = UniqueTempPath(folderOf(path), nameOf(path));
  if (auto written = WriteNewFile(temp, bytes); !written) return written;
  if (auto renamed = RenameFile(temp, path); !renamed) {
    RemoveFile(temp);
    return renamed;
  }
  return {};
}

Result<void> LinuxFileService::copyIn(const std::string& from, const std::string& to) {
  auto bytes = readFile(from);
  if (!bytes) return bytes.error();
  const std::string temp = UniqueTempPath(folderOf(to), nameOf(to));
  if (auto written = WriteNewFile(temp, bytes.value()); !written) return written;
  auto placed = placeNewFile(temp, to);
  RemoveFile(temp);
  return placed;
}

Result<std::string> LinuxFileService::readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return systemError(errno ? errno : ENOENT, "Cannot read " + path);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) return systemError(EIO, "Cannot read " + path);
  return bytes.str();
}

Result<std::unique_ptr<std::istream>> LinuxFileService::openForReading(const std::string& path) {
  auto in = std::make_unique<std::ifstream>(path, std::ios::binary);
  if (!*in) return systemError(errno ? errno : ENOENT, "Cannot read " + path);
  return std::unique_ptr<std::istream>(std::move(in));
}

void LinuxFileService::adviseBulkMemory(void* data, std::size_t bytes) { AdviseLargePages(data, bytes); }

namespace {

constexpr std::size_t kPieceBytes = std::size_t{1} << 20;

// Writes all of `bytes` to `fd`; false with errno set otherwise.
bool writeAllTo(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// read(2) or pread(2) that goes on after a signal.
ssize_t readSome(int fd, char* into, std::size_t size, off_t at = -1) {
  while (true) {
    const ssize_t n = at < 0 ? ::read(fd, into, size) : ::pread(fd, into, size, at);
    if (n >= 0 || errno != EINTR) return n;
  }
}

}  // namespace

Result<void> LinuxFileService::readPieces(const std::string& path,
                                          const std::function<void(std::string_view)>& piece) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return systemError(errno, "Cannot read " + path);
  std::vector<char> buffer(kPieceBytes);
  while (true) {
    const ssize_t n = readSome(fd, buffer.data(), buffer.size());
    if (n < 0) {
      const int err = errno;
      ::close(fd);
      return systemError(err, "Cannot read " + path);
    }
    if (n == 0) break;
    piece(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
  }
  ::close(fd);
  return {};
}

Result<void> LinuxFileService::writeNewFileFrom(const std::string& path, std::string_view head,
                                                const std::string& from,
                                                const std::vector<FileByteRange>& ranges) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return systemError(errno, "Cannot create " + path);
  int source = -1;
  bool ok = writeAllTo(fd, head);
  if (ok && !ranges.empty()) {
    source = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    ok = source >= 0;
  }
  std::vector<char> buffer(ok && source >= 0 ? kPieceBytes : 0);
  for (std::size_t i = 0; ok && i < ranges.size(); ++i) {
    off_t at = static_cast<off_t>(ranges[i].offset);
    std::int64_t left = ranges[i].size;
    while (ok && left > 0) {
      const ssize_t n = readSome(source, buffer.data(),
                                 static_cast<std::size_t>(std::min<std::int64_t>(left, kPieceBytes)), at);
      if (n == 0) break;  // the file is shorter now: what is there is kept
      ok = n > 0 && writeAllTo(fd, std::string_view(buffer.data(), static_cast<std::size_t>(n)));
      at += n;
      left -= n;
    }
  }
  int err = ok ? 0 : errno;
  if (source >= 0) ::close(source);
  if (ok && ::fsync(fd) != 0) {
    ok = false;
    err = errno;
  }
  return closeNewFile(fd, path, ok, err);
}

Result<void> LinuxFileService::renameFile(const std::string& from, const std::string& to) {
  return RenameFile(from, to);
}

Result<void> LinuxFileService::linkFile(const std::string& from, const std::string& to) {
  return LinkFile(from, to);
}

Result<void> LinuxFileService::placeNewFile(const std::string& from, const std::string& to) {
  // Neither call replaces an existing name; the rename serves folders that
  // have no hard links.
  if (::link(from.c_str(), to.c_str()) == 0) return {};
  if (errno == EEXIST) return systemError(EEXIST, "Cannot place " + to);
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0)
    return systemError(errno, "Cannot place " + to);
  return {};
}

bool LinuxFileService::removeFile(const std::string& path) { return RemoveFile(path); }

bool LinuxFileService::fileExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::optional<std::int64_t> LinuxFileService::fileSize(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return static_cast<std::int64_t>(st.st_size);
}

std::optional<FileStamp> LinuxFileService::fileStamp(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileStamp{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                   static_cast<std::int64_t>(st.st_size),
                   static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 +
                       st.st_mtim.tv_nsec};
}

std::vector<std::string> LinuxFileService::folderNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
    names.push_back(entry.path().filename().string());
  return names;
}

Result<void> LinuxFileService::checkFolderWritable(const std::string& folder) {
  return CheckFolderWritable(folder);
}

std::optional<std::string> LinuxFileService::environment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (!value) return std::nullopt;
  return std::string(value);
}

Result<std::unique_ptr<FolderLock>> LinuxFileService::lockFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  // A folder is locked itself, so no file is added to it.
  if (fd < 0 && errno == EISDIR) fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return systemError(errno, "Cannot create " + path);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    return systemError(err, "Cannot lock " + path);
  }
  return std::unique_ptr<FolderLock>(std::make_unique<FlockLock>(fd));
}

bool LinuxFileService::lockedElsewhere(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool busy = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  if (!busy) ::flock(fd, LOCK_UN);
  ::close(fd);
  return busy;
}

std::unique_ptr<AppendLog> LinuxFileService::newAppendLog() {
  return std::make_unique<AppendOnlyLog>();
}

FileService& SystemFiles() {
  static LinuxFileService files;
  return files;
}

std::string ApplicationDataFolder() { return ApplicationDataFolder(SystemFiles()); }

std::string DataFolder(std::string_view base) { return DataFolder(SystemFiles(), base); }

void LinuxFileService::makeFolders(const std::string& path) {
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

std::string LinuxFileService::programFolder() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "./";
  return AddSlash(exe.parent_path().string());
}

Result<void> RenameFile(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return systemError(errno, "Cannot rename " + from);
  return {};
}

Result<void> LinkFile(const std::string& from, const std::string& to) {
  if (::link(from.c_str(), to.c_str()) != 0) return systemError(errno, "Cannot link " + from);
  return {};
}

bool RemoveFile(const std::string& path) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  ::chmod(path.c_str(), 0644);
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

Result<void> CheckFolderWritable(const std::string& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return systemError(errno, folder);
  if (!S_ISDIR(st.st_mode)) return systemError(ENOTDIR, folder);
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return systemError(errno, folder);
  return {};
}

AppendOnlyLog::AppendOnlyLog() = default;

AppendOnlyLog::~AppendOnlyLog() { close(); }

void AppendOnlyLog::setWriter(Writer writer) { writer_ = std::move(writer); }

Result<void> AppendOnlyLog::create(const std::string& path, std::string_view firstLines) {
  close();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return systemError(errno, "Cannot create " + path);
  fd_ = fd;
  path_ = path;
  wholeSize_ = 0;
  atLineStart_ = true;
  std::size_t written = 0;
  if (!writeAll(firstLines, written) || ::fsync(fd_) != 0) {
    const int err = errno;
    close();
    ::unlink(path.c_str());
    return systemError(err, "Cannot write " + path);
  }
  wholeSize_ = static_cast<off_t>(firstLines.size());
  return {};
}

bool AppendOnlyLog::writeAll(std::string_view bytes, std::size_t& written) {
  written = 0;
  while (written < bytes.size()) {
    const ssize_t n = writer_ ? writer_(fd_, bytes.data() + written, bytes.size() - written)
                              : ::write(fd_, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    written += static_cast<std::size_t>(n);
  }
  return true;
}

Result<void> AppendOnlyLog::appendLine(std::string_view line) {
  if (fd_ < 0) return Error{EBADF, "The log is not open."};
  std::string joined;
  if (!atLineStart_) {
    // A piece of a line is left from a failed write: cut it off, or else
    // end it, so this line is not glued onto it.
    if (::ftruncate(fd_, wholeSize_) == 0) {
      atLineStart_ = true;
    } else {
      joined = "\r\n";
      joined += line;
      line = joined;
    }
  }
  std::size_t written = 0;
  if (!writeAll(line, written)) {
    const int err = errno;
    if (written > 0 || !joined.empty()) {
      atLineStart_ = false;
      if (::ftruncate(fd_, wholeSize_) == 0) atLineStart_ = true;
    }
    return systemError(err, "Cannot write " + path_);
  }
  atLineStart_ = true;
  // O_APPEND leaves the offset at the end of what is now whole.
  const off_t end = ::lseek(fd_, 0, SEEK_CUR);
  wholeSize_ = end >= 0 ? end : wholeSize_ + static_cast<off_t>(line.size());
  return {};
}

void AppendOnlyLog::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace sondrel
