#include "core/iplist/IPListFile.h"

#include "core/common/AddressHelpers.h"
#include "core/iplist/ListEntry.h"

#include <iterator>

namespace sondrel {

std::vector<std::string> ParseIPList(std::istream& in) {
  IPListReader reader;
  std::vector<char> piece(std::size_t{1} << 16);
  while (in) {
    in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    reader.feed(std::string_view(piece.data(), static_cast<std::size_t>(in.gcount())));
  }
  return reader.finish().entries;
}

IPListFileContents ParseIPListFile(std::string_view bytes) {
  IPListReader reader;
  reader.feed(bytes);
  IPListFileContents file = reader.finish();
  file.tail = std::string(bytes.substr(static_cast<std::size_t>(file.tailOffset)));
  return file;
}

std::vector<FileByteRange> IPListFileContents::keptRanges() const {
  std::vector<FileByteRange> ranges = overlong;
  if (tailOffset < fileSize) ranges.push_back({tailOffset, fileSize - tailOffset});
  return ranges;
}

void IPListReader::Skim::add(std::string_view bytes) {
  for (const char c : bytes) {
    if (first) return;
    if (cr) {
      first = '\r';  // a CR inside the line is no blank
      return;
    }
    if (c == '\r')
      cr = true;
    else if (c != ' ')
      first = c;
  }
}

void IPListReader::feed(std::string_view piece) {
  std::size_t pos = 0;
  while (pos < piece.size()) {
    const std::size_t nl = piece.find('\n', pos);
    const std::size_t take = (nl == std::string_view::npos ? piece.size() : nl) - pos;
    const std::string_view part = piece.substr(pos, take);
    // The tail is only counted, never held.
    if (!stopped_ && !skimming_ && line_.size() + take > kLongestListLine) {
      skimming_ = true;
      skim_ = {};
      skim_.add(line_);
      line_.clear();
      line_.shrink_to_fit();
    }
    if (stopped_ || skimming_)
      skim_.add(part);
    else
      line_.append(part);
    pos += take;
    if (nl == std::string_view::npos) break;
    ++pos;
    endLine(offset_ + static_cast<std::int64_t>(pos));
  }
  offset_ += static_cast<std::int64_t>(piece.size());
}

void IPListReader::endLine(std::int64_t next) {
  const std::int64_t start = lineStart_;
  lineStart_ = next;
  if (stopped_) {
    if (skim_.first) ++file_.tailLines;
    skim_ = {};
    return;
  }
  if (skimming_) {
    skimming_ = false;
    const char first = skim_.first;
    skim_ = {};
    if (!first) {
      stopped_ = true;
      file_.tailOffset = next;
    } else if (first != '=') {
      file_.overlong.push_back({start, next - start});
    }
    return;
  }
  std::string_view raw = line_;
  if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
  std::string line = TrimBlanks(raw);
  line_.clear();
  if (line.empty()) {
    stopped_ = true;
    file_.tailOffset = next;
  } else if (line.front() != '=') {
    file_.entries.push_back(std::move(line));
  }
}

IPListFileContents IPListReader::finish() {
  // A last line without its line end is a line all the same.
  if (lineStart_ < offset_) endLine(offset_);
  if (!stopped_) file_.tailOffset = offset_;
  file_.fileSize = offset_;
  SortEntries(file_.entries);
  IPListFileContents out = std::move(file_);
  *this = IPListReader();
  return out;
}

bool IsUtf8(std::string_view bytes) {
  size_t i = 0;
  const size_t n = bytes.size();
  while (i < n) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t extra = 0;
    unsigned int min = 0;
    unsigned int cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1, min = 0x80, cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2, min = 0x800, cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3, min = 0x10000, cp = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= n) return false;
    for (size_t k = 1; k <= extra; ++k) {
      const auto cc = static_cast<unsigned char>(bytes[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if (cp < min || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return false;
    i += extra + 1;
  }
  return true;
}

std::string EntryDisplayName(std::string_view line) {
  ListEntry entry = parseListEntry(line);
  if (entry.kind == ListEntryKind::Single) return TrimBlanks(entry.title.substr(0, 99));
  return std::move(entry.title);
}

std::vector<std::string> ListIP2Items(const std::vector<std::string>& entries) {
  std::vector<std::string> items;
  for (const auto& e : entries)
    if (parseListEntry(e).kind == ListEntryKind::Single) items.push_back(EntryDisplayName(e));
  items.emplace_back(kListIP2Separator);
  items.emplace_back(kListIP2AddItem);
  return items;
}

std::string FormatIPList(const std::vector<std::string>& lines, std::string_view tail) {
  std::size_t size = tail.size() + 3;
  for (const auto& l : lines) size += l.size() + 2;
  std::string out;
  out.reserve(size);
  for (const auto& l : lines) {
    out += l;
    out += "\r\n";
  }
  out += " \r\n";
  out += tail;
  return out;
}

std::vector<std::string> DefaultIPListLines(const std::vector<Adapter>& adapters,
                                            const std::vector<std::string>& nameServers) {
  std::vector<std::string> lines;
  std::string ownAddress;
  for (const auto& a : adapters)
    if (!a.address.empty()) {
      ownAddress = a.address;
      break;
    }
  std::string router;
  for (const auto& a : adapters)
    if (!a.gateway.empty()) {
      router = a.gateway;
      break;
    }
  if (router.empty()) router = ownAddress;
  const auto single = [&lines](std::string target) {
    lines.push_back(formatListEntry(ListEntry::single(std::move(target))));
  };
  if (!router.empty()) single(router);

  for (const auto& server : nameServers)
    if (!server.empty() && server != router) single(server);

  single(std::string(kDefaultSite1));
  single(std::string(kDefaultSite2));

  if (ownAddress.empty()) return lines;
  const std::string p = SubnetPrefix(ownAddress);
  const auto address = [&p](int n) { return p + "." + std::to_string(n); };
  std::vector<std::string> members;
  for (int n : {1, 2, 3, 4, 5, 10, 20, 30, 40}) members.push_back(address(n));
  lines.push_back(formatListEntry(ListEntry::group("IP_Group_01", std::move(members))));

  std::vector<std::string> subnet;
  for (int n = 0; n <= 255; ++n) subnet.push_back(address(n));
  lines.push_back(formatListEntry(ListEntry::group("IP_Group_Subnet(0-255)", std::move(subnet))));

  lines.push_back(
      formatListEntry(ListEntry::range("IP_Range_01_Subnet_(0-255)", address(0), address(255))));
  return lines;
}

}  // namespace sondrel
