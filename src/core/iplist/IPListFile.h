#pragma once
// The stored target list file: one entry per line, kind letter first
// ("A" single target, "B" group, "C" range), "=" lines are comments, reading
// stops at the first blank line, every rewrite ends with a line of one blank.

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports/FileService.h"
#include "core/ports/NetworkSettings.h"

namespace sondrel {

inline constexpr std::string_view kListIP2Separator = "----------------------------";
inline constexpr std::string_view kListIP2AddItem = "Add a IP / URL";
// Two well-known public sites for a new list; names only, nothing is resolved.
inline constexpr std::string_view kDefaultSite1 = "www.wikipedia.org";
inline constexpr std::string_view kDefaultSite2 = "www.debian.org";

// The entries of a list file, trimmed, comments skipped, up to the first
// blank line, sorted. Empty when the first line is blank.
std::vector<std::string> ParseIPList(std::istream& in);

// The longest line a list loads, in bytes. A group of every target a run can
// take (65,536 addresses and their commas) is about 1 MB; a longer line is
// not a list entry, and holding it would let one line of a damaged file take
// any amount of memory.
inline constexpr std::size_t kLongestListLine = std::size_t{2} << 20;

// A list file as read: the entries, and the bytes after the first blank line.
// Those are not loaded, but a hand-edited file must not lose them, so every
// rewrite puts them back after its own closing line. Lines longer than
// kLongestListLine before the blank line are not loaded either; a rewrite
// keeps them too, after its closing line.
struct IPListFileContents {
  std::vector<std::string> entries;  // as ParseIPList gives them
  std::string tail;                  // the bytes after the first blank line, as they were
  int tailLines = 0;                 // lines of the tail holding more than blanks
  std::int64_t tailOffset = 0;       // where the tail begins in the file
  std::int64_t fileSize = 0;         // bytes read
  std::vector<FileByteRange> overlong;  // over-long lines with their line ends
  // The parts of the file a rewrite puts back: the over-long lines, then the tail.
  std::vector<FileByteRange> keptRanges() const;
};
IPListFileContents ParseIPListFile(std::string_view bytes);

// The same read piece by piece, holding no more of the file than one line
// of at most kLongestListLine bytes (and the entries): for lists of any size.
// The tail is left out of `tail`; tailOffset says where it is.
class IPListReader {
 public:
  void feed(std::string_view piece);
  IPListFileContents finish();

 private:
  // What a line too long to keep starts with: its first character that is
  // not a blank (a CR counts unless it ends the line), or 0 while none came.
  struct Skim {
    char first = 0;
    bool cr = false;
    void add(std::string_view bytes);
  };

  IPListFileContents file_;
  std::int64_t offset_ = 0;     // bytes fed so far
  std::int64_t lineStart_ = 0;  // where the current line began
  std::string line_;            // the current line, while it fits
  bool skimming_ = false;       // the current line is too long to keep
  Skim skim_;
  bool stopped_ = false;        // the blank line came: the rest is the tail

  void endLine(std::int64_t next);
};

// True when `bytes` are valid UTF-8: the test of the text rule in
// text/TextBytes.h, which reads such bytes as UTF-8 and any others as Latin-1.
bool IsUtf8(std::string_view bytes);

// What the list box shows for a line: for "A" characters 2 to 100 trimmed,
// otherwise the title between the kind letter and the first ",".
std::string EntryDisplayName(std::string_view line);

// The address picker's items: the single entries, then the two fixed items.
std::vector<std::string> ListIP2Items(const std::vector<std::string>& entries);

// The bytes of a rewrite: each line and CR LF, then the closing " " CR LF,
// then `tail` unchanged.
std::string FormatIPList(const std::vector<std::string>& lines, std::string_view tail = {});

// The lines of a new list built from the machine's own settings: the router
// (else the machine's own address), the name servers, two public sites, and
// the local subnet's group, whole-subnet group and range. Without any adapter
// address the group and range lines are left out.
std::vector<std::string> DefaultIPListLines(const std::vector<Adapter>& adapters,
                                            const std::vector<std::string>& nameServers);

}  // namespace sondrel
