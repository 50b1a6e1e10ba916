#include "service/ServiceJournal.h"

#include <cerrno>

#include "core/ports/FileService.h"

namespace sondrel {

ServiceJournal::ServiceJournal(std::string folder, FileService& files, QObject* parent)
    : RunJournal(parent), folder_(std::move(folder)), files_(files) {}

ServiceJournal::~ServiceJournal() = default;

Result<void> ServiceJournal::checkFolder() const {
  files_.makeFolders(folder_);
  if (auto writable = files_.checkFolderWritable(folder_); !writable)
    return Error{writable.error().code, "the monitor's data folder " + folder_ + " cannot be used: " +
                                            writable.error().message};
  return {};
}

Result<void> ServiceJournal::beginRun(const RunData&) {
  if (lock_) return {};
  if (auto usable = checkFolder(); !usable) return usable;
  auto locked = files_.lockFile(logPath());
  if (!locked) {
    if (locked.error().code == EWOULDBLOCK)
      return Error{EWOULDBLOCK, "another monitor is running on the data folder " + folder_};
    return locked.error();
  }
  lock_ = std::move(locked.value());
  return {};
}

std::optional<FileStamp> ServiceJournal::endRun() {
  lock_.reset();
  return std::nullopt;
}

Result<RunData> ServiceJournal::loadPreviousRun() const {
  return Error{ENOENT, "the monitor keeps its runs in the archive only"};
}

}  // namespace sondrel
