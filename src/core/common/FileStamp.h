#pragma once
// What tells one version of a file from another without reading it: the file
// (device and inode), its size and its last change to the nanosecond. A run
// log written anew is a new file; one appended to grows and changes.

#include <cstdint>

namespace sondrel {

struct FileStamp {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modifiedNs = 0;

  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

}  // namespace sondrel
