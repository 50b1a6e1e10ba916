#pragma once
// The stored target list as the editing operations see it: the loaded lines
// and a whole-file rewrite. The list store provides it; the editor needs no
// more than this.

#include <string>
#include <vector>

namespace sondrel {

class IIPListLines {
 public:
  virtual ~IIPListLines() = default;
  // IPEntries as last loaded: sorted, kind letter first; empty for an empty list.
  virtual std::vector<std::string> lines() const = 0;
  // Writes `lines` in this order, ends the file with its blank stop line (and
  // whatever stood after the old file's first blank line) and reloads, so that
  // lines() is the new, sorted list afterwards. False when the file could not
  // be replaced: the failure was shown and the old list stays.
  virtual bool rewrite(const std::vector<std::string>& lines) = 0;
};

}  // namespace sondrel
