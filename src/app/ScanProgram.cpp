#include "app/ScanProgram.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/EmbeddedWorker.h"
#include "core/DataFolder.h"

namespace sondrel {

namespace {

Error SystemError(const std::string& what, int err) {
  return Error{err, what + ": " + std::strerror(err)};
}

bool WriteAll(int fd, std::span<const std::byte> bytes) {
  const std::byte* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string ScanProgramPath(std::string_view dataFolder) {
  return AddSlash(dataFolder) + ScanProgramName();
}

Result<std::string> ExtractScanProgram(std::string_view dataFolder,
                                       std::span<const std::byte> bytes) {
  const std::string path = ScanProgramPath(dataFolder);
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) return path;

  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return SystemError("cannot create " + temp, errno);
  bool ok = WriteAll(fd, bytes) && ::fchmod(fd, 0755) == 0 && ::fsync(fd) == 0;
  int err = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  // Neither call replaces an existing name, so a file put there since the
  // check stays; the rename serves folders that have no hard links.
  if (ok && ::link(temp.c_str(), path.c_str()) != 0 && errno != EEXIST) {
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0 &&
        errno != EEXIST) {
      ok = false;
      err = errno;
    }
  }
  ::unlink(temp.c_str());
  if (!ok) return SystemError("cannot write " + path, err);
  return path;
}

Result<std::string> ExtractScanProgram(std::string_view dataFolder) {
  return ExtractScanProgram(dataFolder, EmbeddedWorker());
}

}  // namespace sondrel
