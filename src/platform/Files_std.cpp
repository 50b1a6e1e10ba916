#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/Files.h"

namespace sondrel {
namespace {

Error systemError(int err, const std::string& what) {
  return Error{err, what + ": " + std::strerror(err)};
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
