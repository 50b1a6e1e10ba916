#include "core/scan/ScanWire.h"

#include <charconv>

#include "core/common/AddressHelpers.h"

namespace sondrel {

namespace {

long NumberOr(std::string_view text, long fallback) {
  const std::string trimmed = TrimBlanks(text);
  long value = 0;
  const char* end = trimmed.data() + trimmed.size();
  auto [ptr, ec] = std::from_chars(trimmed.data(), end, value);
  if (ec != std::errc() || ptr != end || trimmed.empty()) return fallback;
  return value;
}

// The NetBIOS name "*" padded with NULs, first-level encoded (RFC 1002 4.1).
void PutWildcardName(std::vector<std::uint8_t>& out) {
  out.push_back(32);
  char name[16] = {'*'};
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    out.push_back(static_cast<std::uint8_t>('A' + (byte >> 4)));
    out.push_back(static_cast<std::uint8_t>('A' + (byte & 0x0F)));
  }
  out.push_back(0);
}

}  // namespace

std::string BuildWorkerCommandLine(int reportFd, const std::vector<ScanPair>& pairs, long delay) {
  std::string line = std::to_string(reportFd);
  for (std::size_t k = 0; k < 3; ++k) {
    line += ',';
    if (k < pairs.size()) line += pairs[k].address + "," + pairs[k].index;
    else line += ',';
  }
  line += "," + std::to_string(delay);
  for (std::size_t k = 3; k < pairs.size(); ++k)
    line += "," + pairs[k].address + "," + pairs[k].index;
  return line;
}

WorkerJob ParseWorkerCommandLine(std::string_view text) {
  const auto fields = SplitFields(text, ',');
  WorkerJob job;
  job.reportFd = static_cast<int>(NumberOr(fields[0], -1));
  job.delay = fields.size() > 7 ? NumberOr(fields[7], 0) : 0;
  auto take = [&](std::size_t at) {
    if (at >= fields.size()) return;
    std::string address = TrimBlanks(fields[at]);
    if (address.empty()) return;
    std::string index = at + 1 < fields.size() ? TrimBlanks(fields[at + 1]) : std::string();
    job.pairs.push_back({std::move(address), std::move(index)});
  };
  for (std::size_t at = 1; at <= 5; at += 2) take(at);
  for (std::size_t at = 8; at < fields.size(); at += 2) take(at);
  return job;
}

WorkerJob ParseWorkerArguments(int argc, const char* const* argv) {
  std::string line;
  for (int k = 1; k < argc; ++k) line += (k > 1 ? " " : "") + std::string(argv[k]);
  return ParseWorkerCommandLine(line);
}

std::string CleanReportName(std::string_view name) {
  std::string clean;
  clean.reserve(name.size());
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || byte == 127 || c == ',') continue;
    clean += c;
  }
  return TrimBlanks(clean);
}

std::string FitReportName(std::string_view name, std::size_t room) {
  if (name.size() <= room) return std::string(name);
  if (room < kNameCutMark.size()) return {};
  const std::size_t keep = room - kNameCutMark.size();
  // The last label boundary that leaves the kept labels within `keep`.
  std::size_t cut = name.rfind('.', keep);
  if (cut == std::string_view::npos || cut == 0) cut = keep;
  return std::string(name.substr(0, cut)) + std::string(kNameCutMark);
}

std::string LiveReport(std::string_view index, std::uint32_t ms, unsigned ttl,
                       std::string_view host, std::string_view mac) {
  std::string cleanMac = CleanReportName(mac);
  if (cleanMac.size() > 17) cleanMac.clear();
  const std::string head = std::string(index) + "," + std::to_string(ms) + "," + std::to_string(ttl) + ",";
  const std::string tail = "," + cleanMac;
  const std::size_t used = head.size() + tail.size();
  const std::size_t room = used < kMaxReportText ? kMaxReportText - used : 0;
  return head + FitReportName(CleanReportName(host), room) + tail;
}

std::string DeadReport(std::string_view index) { return std::string(index) + ",Dead"; }

std::string EncodeReportFrame(std::string_view text, unsigned char identifier) {
  if (text.size() + 2 > kReportFrameBytes || text.find('\0') != std::string_view::npos)
    return {};
  std::string frame;
  frame.reserve(text.size() + 2);
  frame += static_cast<char>(identifier);
  frame += text;
  frame += '\0';
  return frame;
}

void ReportFrameReader::feed(std::string_view bytes, std::vector<ReportFrame>& out) {
  for (char c : bytes) {
    if (c == '\0') {
      if (!overlong_ && !pending_.empty()) {
        ReportFrame frame;
        frame.identifier = static_cast<unsigned char>(pending_[0]);
        frame.text = pending_.substr(1);
        out.push_back(std::move(frame));
      }
      pending_.clear();
      overlong_ = false;
      continue;
    }
    if (overlong_) continue;
    // The NUL still to come makes one byte more.
    if (pending_.size() + 1 >= kReportFrameBytes) {
      overlong_ = true;
      pending_.clear();
      continue;
    }
    pending_ += c;
  }
}

void ApplyScanReport(std::string_view text, ScanTable& table, ScanCounters& counters) {
  ++counters.received;
  const auto fields = SplitFields(text, ',');
  const long index = NumberOr(fields[0], -1);
  // A stray index changes nothing but the count of reports received.
  if (index < 0 || static_cast<std::size_t>(index) >= table.size()) return;
  ScanRecord& record = table[static_cast<std::size_t>(index)];
  if (fields.size() >= 4) {
    ++counters.active;
    record.ms = TrimBlanks(fields[1]);
    record.ttl = TrimBlanks(fields[2]);
    record.host = TrimBlanks(fields[3]);
    record.mac = fields.size() > 4 ? TrimBlanks(fields[4]) : std::string();
  } else {
    if (fields.size() == 2) ++counters.inactive;
    if (fields.size() >= 2) record.ms = TrimBlanks(fields[1]);
  }
  ++counters.reportsShown;
}

bool ApplyNameReport(std::string_view text, ScanRecord& record) {
  const auto fields = SplitFields(text, ',');
  if (fields.size() < 4 || record.pending() || record.dead()) return false;
  if (TrimBlanks(fields[1]) != record.ms || TrimBlanks(fields[2]) != record.ttl) return false;
  record.host = TrimBlanks(fields[3]);
  record.mac = fields.size() > 4 ? TrimBlanks(fields[4]) : std::string();
  return true;
}

std::vector<std::uint8_t> NodeStatusRequest(std::uint16_t transactionId) {
  std::vector<std::uint8_t> packet = {
      static_cast<std::uint8_t>(transactionId >> 8), static_cast<std::uint8_t>(transactionId),
      0x00, 0x00,  // a query, no recursion
      0x00, 0x01,  // one question
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  PutWildcardName(packet);
  packet.insert(packet.end(), {0x00, 0x21, 0x00, 0x01});  // NBSTAT, IN
  return packet;
}

std::optional<std::array<std::uint8_t, 6>> ParseNodeStatusResponse(
    const std::uint8_t* data, std::size_t size, std::uint16_t transactionId) {
  if (size < 12) return std::nullopt;
  const unsigned id = (data[0] << 8) | data[1];
  if (id != transactionId || !(data[2] & 0x80)) return std::nullopt;  // not our response
  if ((data[3] & 0x0F) != 0) return std::nullopt;                      // an error code
  const unsigned answers = (data[6] << 8) | data[7];
  if (answers < 1) return std::nullopt;
  // The answer's name: labels up to a zero length, or a pointer.
  std::size_t at = 12;
  while (at < size && data[at] != 0) {
    if ((data[at] & 0xC0) == 0xC0) {
      ++at;
      break;
    }
    at += 1 + data[at];
  }
  ++at;
  if (at + 10 > size) return std::nullopt;
  const unsigned type = (data[at] << 8) | data[at + 1];
  if (type != 0x21) return std::nullopt;
  const std::size_t length = (data[at + 8] << 8) | data[at + 9];
  at += 10;
  if (at + length > size || length < 1) return std::nullopt;
  const std::size_t names = data[at];
  const std::size_t unitAt = at + 1 + names * 18;
  if (unitAt + 6 > at + length) return std::nullopt;
  std::array<std::uint8_t, 6> mac{};
  bool any = false;
  for (std::size_t k = 0; k < 6; ++k) {
    mac[k] = data[unitAt + k];
    any = any || mac[k] != 0;
  }
  if (!any) return std::nullopt;
  return mac;
}

}  // namespace sondrel
