#include "archive/ResultChunk.h"

#include <algorithm>
#include <cstdint>

namespace sondrel {
namespace {

constexpr std::int64_t kUsPerSecond = 1000000;

ResultTime CivilFromSeconds(std::int64_t secs) {
  std::int64_t days = secs >= 0 ? secs / 86400 : (secs - 86399) / 86400;
  std::int64_t rest = secs - days * 86400;
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
  ResultTime t;
  t.year = static_cast<std::uint16_t>(y);
  t.month = static_cast<std::uint8_t>(m);
  t.day = static_cast<std::uint8_t>(d);
  t.hour = static_cast<std::uint8_t>(rest / 3600);
  t.minute = static_cast<std::uint8_t>(rest / 60 % 60);
  t.second = static_cast<std::uint8_t>(rest % 60);
  return t;
}

bool Same(const ResultTime& a, const ResultTime& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour && a.minute == b.minute &&
         a.second == b.second;
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

void PutVarint(std::string& out, std::uint64_t v) {
  while (v >= 0x80) {
    out += static_cast<char>((v & 0x7F) | 0x80);
    v >>= 7;
  }
  out += static_cast<char>(v);
}

void PutZigzag(std::string& out, std::int64_t v) {
  PutVarint(out, (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63));
}

std::int64_t PredictedWhen(const ChunkCursor& c, std::int64_t sent) {
  return c.whenSecs + FloorDiv(sent - c.sent + kUsPerSecond / 2, kUsPerSecond);
}

std::int32_t MsOf(std::int64_t roundTripUs) {
  return roundTripUs < 0 ? -1 : static_cast<std::int32_t>(std::min<std::int64_t>(roundTripUs / 1000, INT32_MAX));
}

}  // namespace

std::optional<std::int64_t> ChunkCivilSeconds(const ResultTime& t) {
  if (t.year == ResultTime::kNoYear || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 ||
      t.minute > 59 || t.second > 59)
    return std::nullopt;
  const std::int64_t secs =
      DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
  if (!Same(CivilFromSeconds(secs), t)) return std::nullopt;  // 31 February and the like
  return secs;
}

void ResultChunk::add(std::int64_t row, const ArchiveResult& a) {
  const ResultRecord& r = a.record;
  if (count_ == 0) {
    firstRow_ = row;
    firstSent_ = a.sentUtcUs;
    lastSent_ = a.sentUtcUs;
    cursor_ = ChunkCursor{};
    cursor_.row = row;
  }
  ChunkCursor& c = cursor_;
  std::uint8_t flags = 0, flags2 = 0;
  const std::int64_t rowStep = row - c.row;
  if (rowStep == c.rowStep) flags |= 0x01;
  const std::int64_t passStep = static_cast<std::int64_t>(a.pass) - c.pass;
  if (passStep == 1) flags |= 0x02;
  const bool reply = a.roundTripUs >= 0;
  if (reply) flags |= 0x04;
  const std::optional<std::int64_t> when = ChunkCivilSeconds(r.when);
  std::int64_t whenCode = 3;
  if (when) {
    const std::int64_t predicted = PredictedWhen(c, a.sentUtcUs);
    if (*when == predicted) whenCode = 0;
    else if (*when == predicted + 1) whenCode = 1;
    else if (*when == predicted - 1) whenCode = 2;
  } else {
    whenCode = 0;  // the cursor's time stays; the fields follow
    flags2 |= 0x04;
  }
  flags |= static_cast<std::uint8_t>(whenCode << 3);
  if (r.ttl == c.ttl) flags |= 0x20;
  if (r.bufferSize == c.size) flags |= 0x40;
  if (r.status != 0) flags2 |= 0x01;
  if (r.time != MsOf(a.roundTripUs)) flags2 |= 0x02;
  if (flags2 != 0) flags |= 0x80;

  bytes_ += static_cast<char>(flags);
  if (flags2 != 0) bytes_ += static_cast<char>(flags2);
  if (!(flags & 0x01)) PutZigzag(bytes_, rowStep);
  if (!(flags & 0x02)) PutZigzag(bytes_, passStep);
  PutZigzag(bytes_, a.sentUtcUs - c.sent);
  if (reply) PutVarint(bytes_, static_cast<std::uint64_t>(a.roundTripUs));
  if (when && whenCode == 3) PutZigzag(bytes_, *when - c.whenSecs);
  if (!(flags & 0x20)) PutZigzag(bytes_, r.ttl - c.ttl);
  if (!(flags & 0x40)) PutZigzag(bytes_, std::int64_t{r.bufferSize} - c.size);
  if (flags2 & 0x01) PutZigzag(bytes_, r.status);
  if (flags2 & 0x02) PutZigzag(bytes_, r.time);
  if (flags2 & 0x04) {
    bytes_ += static_cast<char>(r.when.year & 0xFF);
    bytes_ += static_cast<char>(r.when.year >> 8);
    for (std::uint8_t f : {r.when.month, r.when.day, r.when.hour, r.when.minute, r.when.second})
      bytes_ += static_cast<char>(f);
  }

  c.row = row;
  c.rowStep = rowStep;
  c.pass = a.pass;
  c.sent = a.sentUtcUs;
  if (when) c.whenSecs = *when;
  c.ttl = r.ttl;
  c.size = r.bufferSize;
  ++count_;
  firstSent_ = std::min(firstSent_, a.sentUtcUs);
  lastSent_ = std::max(lastSent_, a.sentUtcUs);
  dirty_ = true;
}

void ChunkReader::start(std::uint32_t target, std::int64_t firstRow, const unsigned char* data, std::size_t size) {
  target_ = target;
  at_ = data;
  end_ = data ? data + size : data;
  cursor_ = ChunkCursor{};
  cursor_.row = firstRow;
}

inline bool ChunkReader::varint(std::uint64_t& v) {
  // Most fields take one to three bytes.
  if (end_ - at_ >= 3) {
    const unsigned char b0 = at_[0];
    if (!(b0 & 0x80)) {
      v = b0;
      at_ += 1;
      return true;
    }
    const unsigned char b1 = at_[1];
    if (!(b1 & 0x80)) {
      v = (b0 & 0x7Fu) | (std::uint64_t{b1} << 7);
      at_ += 2;
      return true;
    }
    const unsigned char b2 = at_[2];
    if (!(b2 & 0x80)) {
      v = (b0 & 0x7Fu) | (std::uint64_t{b1 & 0x7Fu} << 7) | (std::uint64_t{b2} << 14);
      at_ += 3;
      return true;
    }
  }
  v = 0;
  for (int shift = 0; shift < 64; shift += 7) {
    if (at_ == end_) return false;
    const unsigned char b = *at_++;
    v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
    if (!(b & 0x80)) return true;
  }
  return false;
}

inline bool ChunkReader::zigzag(std::int64_t& v) {
  std::uint64_t u = 0;
  if (!varint(u)) return false;
  v = static_cast<std::int64_t>(u >> 1) ^ -static_cast<std::int64_t>(u & 1);
  return true;
}

bool ChunkReader::next(DecodedResult& out) {
  if (at_ == end_) return false;
  ChunkCursor& c = cursor_;
  const std::uint8_t flags = *at_++;
  std::uint8_t flags2 = 0;
  if (flags & 0x80) {
    if (at_ == end_) return false;
    flags2 = *at_++;
  }
  std::int64_t rowStep = c.rowStep, passStep = 1, sentStep = 0, v = 0;
  if (!(flags & 0x01) && !zigzag(rowStep)) return false;
  if (!(flags & 0x02) && !zigzag(passStep)) return false;
  if (!zigzag(sentStep)) return false;
  ArchiveResult& a = out.result;
  a.sentUtcUs = c.sent + sentStep;
  a.roundTripUs = -1;
  if (flags & 0x04) {
    std::uint64_t rtt = 0;
    if (!varint(rtt)) return false;
    a.roundTripUs = static_cast<std::int64_t>(rtt);
  }
  const int whenCode = (flags >> 3) & 0x03;
  std::int64_t whenSecs = c.whenSecs;
  if (!(flags2 & 0x04)) {
    const std::int64_t predicted = PredictedWhen(c, a.sentUtcUs);
    if (whenCode == 0) whenSecs = predicted;
    else if (whenCode == 1) whenSecs = predicted + 1;
    else if (whenCode == 2) whenSecs = predicted - 1;
    else if (!zigzag(v)) return false;
    else whenSecs = c.whenSecs + v;
  }
  std::int64_t ttl = c.ttl, size = c.size, status = 0;
  if (!(flags & 0x20)) {
    if (!zigzag(v)) return false;
    ttl = c.ttl + v;
  }
  if (!(flags & 0x40)) {
    if (!zigzag(v)) return false;
    size = c.size + v;
  }
  if ((flags2 & 0x01) && !zigzag(status)) return false;
  ResultRecord& r = a.record;
  r.time = MsOf(a.roundTripUs);
  if (flags2 & 0x02) {
    if (!zigzag(v)) return false;
    r.time = static_cast<std::int32_t>(v);
  }
  if (flags2 & 0x04) {
    if (end_ - at_ < 7) return false;
    r.when.year = static_cast<std::uint16_t>(at_[0] | (at_[1] << 8));
    r.when.month = at_[2];
    r.when.day = at_[3];
    r.when.hour = at_[4];
    r.when.minute = at_[5];
    r.when.second = at_[6];
    at_ += 7;
  } else if (haveDay_ && whenSecs >= dayStart_ && whenSecs - dayStart_ < 86400) {
    const auto rest = static_cast<std::uint32_t>(whenSecs - dayStart_);
    r.when = day_;
    r.when.hour = static_cast<std::uint8_t>(rest / 3600);
    r.when.minute = static_cast<std::uint8_t>(rest / 60 % 60);
    r.when.second = static_cast<std::uint8_t>(rest % 60);
  } else {
    r.when = CivilFromSeconds(whenSecs);
    day_ = r.when;
    dayStart_ = whenSecs - (r.when.hour * 3600 + r.when.minute * 60 + r.when.second);
    haveDay_ = true;
  }
  r.target = target_;
  r.ttl = static_cast<std::int16_t>(ttl);
  r.bufferSize = static_cast<std::int32_t>(size);
  r.status = static_cast<std::int32_t>(status);
  out.row = c.row + rowStep;
  a.pass = static_cast<std::uint32_t>(c.pass + passStep);

  c.row = out.row;
  c.rowStep = rowStep;
  c.pass = a.pass;
  c.sent = a.sentUtcUs;
  c.whenSecs = whenSecs;
  c.ttl = ttl;
  c.size = size;
  return true;
}

}  // namespace sondrel
