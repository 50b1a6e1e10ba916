#include "archive/ResultChunk.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

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

namespace {

// A varint from `at`, its bytes ending at `end`; false when they end first
// or it runs past 64 bits.
inline bool ReadVarint(const unsigned char*& at, const unsigned char* end, std::uint64_t& v) {
  if (end - at >= 4) {
    // One to four bytes, most fields, taken at once: round trips take two
    // or three at random, which a branch on their number would guess wrong.
    const std::uint32_t x = std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
                            std::uint32_t{at[3]} << 24;
    if (const std::uint32_t ends = ~x & 0x80808080u) {
      const int bytes = std::countr_zero(ends) / 8 + 1;
      const std::uint32_t all = (x & 0x7Fu) | (x >> 1 & 0x3F80u) | (x >> 2 & 0x1FC000u) | (x >> 3 & 0xFE00000u);
      v = all & ((1u << (7 * bytes)) - 1);
      at += bytes;
      return true;
    }
  }
  v = 0;
  for (int shift = 0; shift < 64; shift += 7) {
    if (at == end) return false;
    const unsigned char b = *at++;
    v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
    if (!(b & 0x80)) return true;
  }
  return false;
}

inline bool ReadZigzag(const unsigned char*& at, const unsigned char* end, std::int64_t& v) {
  std::uint64_t u = 0;
  if (!ReadVarint(at, end, u)) return false;
  v = static_cast<std::int64_t>(u >> 1) ^ -static_cast<std::int64_t>(u & 1);
  return true;
}

// A record's time as the eight bytes it takes in memory (the last one
// padding), year first, low byte first.
constexpr std::uint64_t PackTime(std::uint64_t year, std::uint64_t month, std::uint64_t day, std::uint64_t hour,
                                 std::uint64_t minute, std::uint64_t second) {
  return year | month << 16 | day << 24 | hour << 32 | minute << 40 | second << 48;
}
constexpr std::uint64_t PackTime(const ResultTime& t) {
  return PackTime(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

// Whether a record lies in memory as PackTime and WriteRecord take it.
constexpr bool kRecordLayoutKnown =
    std::endian::native == std::endian::little && sizeof(ResultTime) == 8 && offsetof(ResultTime, year) == 0 &&
    offsetof(ResultTime, month) == 2 && offsetof(ResultTime, day) == 3 && offsetof(ResultTime, hour) == 4 &&
    offsetof(ResultTime, minute) == 5 && offsetof(ResultTime, second) == 6 && offsetof(ResultRecord, when) == 0 &&
    offsetof(ResultRecord, target) == 8 && offsetof(ResultRecord, bufferSize) == 12 &&
    offsetof(ResultRecord, time) == 16 && offsetof(ResultRecord, status) == 20 && offsetof(ResultRecord, ttl) == 24 &&
    sizeof(ResultRecord) == 28;

// Writes a whole record in four stores rather than a dozen, one per field:
// a load of millions writes records to lines not yet in the cache, and
// every store waits in the processor's store queue until its line comes.
inline void WriteRecord(ResultRecord* r, std::uint64_t when, std::uint32_t target, std::int32_t size,
                        std::int32_t time, std::int32_t status, std::int16_t ttl) {
  if constexpr (kRecordLayoutKnown) {
    // Each word stored on its own: gathered first, they would be read back
    // whole from their parts' stores, which the processor cannot forward.
    const std::uint64_t middle = target | std::uint64_t{static_cast<std::uint32_t>(size)} << 32;
    const std::uint64_t reply = static_cast<std::uint32_t>(time) | std::uint64_t{static_cast<std::uint32_t>(status)} << 32;
    const auto last = static_cast<std::uint32_t>(static_cast<std::uint16_t>(ttl));
    auto* bytes = reinterpret_cast<unsigned char*>(r);
    std::memcpy(bytes, &when, 8);
    std::memcpy(bytes + 8, &middle, 8);
    std::memcpy(bytes + 16, &reply, 8);
    std::memcpy(bytes + 24, &last, 4);
  } else {
    r->when.year = static_cast<std::uint16_t>(when);
    r->when.month = static_cast<std::uint8_t>(when >> 16);
    r->when.day = static_cast<std::uint8_t>(when >> 24);
    r->when.hour = static_cast<std::uint8_t>(when >> 32);
    r->when.minute = static_cast<std::uint8_t>(when >> 40);
    r->when.second = static_cast<std::uint8_t>(when >> 48);
    r->target = target;
    r->bufferSize = size;
    r->time = time;
    r->status = status;
    r->ttl = ttl;
  }
}

}  // namespace

// The next `count` results, each record written where `place(row)` says
// (null: the row is refused), then `echo(pass, sent, roundTrip, time,
// status, ttl)` called. The reader's state is kept in locals meanwhile, so
// that it stays in registers.
template <typename Place, typename Echo>
inline bool ChunkReader::read(int count, Place&& place, Echo&& echo) {
  const unsigned char* at = at_;
  const unsigned char* const end = end_;
  ChunkCursor c = cursor_;
  bool haveDay = haveDay_;
  std::int64_t dayStart = dayStart_;
  std::uint64_t day = day_;
  bool haveClock = haveClock_;
  std::int64_t clockSecs = clockSecs_;
  std::uint64_t clock = clock_;
  for (int k = 0; k < count; ++k) {
    if (at == end) return false;
    const std::uint8_t flags = *at++;
    std::uint8_t flags2 = 0;
    if (flags & 0x80) {
      if (at == end) return false;
      flags2 = *at++;
    }
    std::int64_t rowStep = c.rowStep, passStep = 1, sentStep = 0, v = 0;
    if (!(flags & 0x01) && !ReadZigzag(at, end, rowStep)) return false;
    if (!(flags & 0x02) && !ReadZigzag(at, end, passStep)) return false;
    if (!ReadZigzag(at, end, sentStep)) return false;
    const std::int64_t sent = c.sent + sentStep;
    std::int64_t roundTrip = -1;
    if (flags & 0x04) {
      std::uint64_t rtt = 0;
      if (!ReadVarint(at, end, rtt)) return false;
      roundTrip = static_cast<std::int64_t>(rtt);
    }
    const int whenCode = (flags >> 3) & 0x03;
    std::int64_t whenSecs = c.whenSecs;
    if (!(flags2 & 0x04)) {
      // As predicted from the sent step, a second later or earlier, or given.
      const std::int64_t predicted = PredictedWhen(c, sent);
      if (whenCode == 0) whenSecs = predicted;
      else if (whenCode == 1) whenSecs = predicted + 1;
      else if (whenCode == 2) whenSecs = predicted - 1;
      else if (!ReadZigzag(at, end, v)) return false;
      else whenSecs = c.whenSecs + v;
    }
    std::int64_t ttl = c.ttl, size = c.size, status = 0;
    if (!(flags & 0x20)) {
      if (!ReadZigzag(at, end, v)) return false;
      ttl = c.ttl + v;
    }
    if (!(flags & 0x40)) {
      if (!ReadZigzag(at, end, v)) return false;
      size = c.size + v;
    }
    if ((flags2 & 0x01) && !ReadZigzag(at, end, status)) return false;
    std::int32_t time = MsOf(roundTrip);
    if (flags2 & 0x02) {
      if (!ReadZigzag(at, end, v)) return false;
      time = static_cast<std::int32_t>(v);
    }
    std::uint64_t when = 0;
    if (flags2 & 0x04) {
      // A time given field by field, as it was: its bytes lie as in memory.
      if (end - at < 7) return false;
      for (int b = 6; b >= 0; --b) when = when << 8 | at[b];
      at += 7;
    } else if (const auto later = static_cast<std::uint64_t>(whenSecs) - static_cast<std::uint64_t>(clockSecs);
               haveClock && whenSecs >= clockSecs && later < 60 - (clock >> 48 & 0xFF)) {
      // Later in the minute of the last time worked out: the usual step of
      // a run, the same target a pass on.
      when = clock + (later << 48);
    } else {
      const auto inDay = static_cast<std::uint64_t>(whenSecs) - static_cast<std::uint64_t>(dayStart);
      if (haveDay && whenSecs >= dayStart && inDay < 86400) {
        const auto rest = static_cast<std::uint32_t>(inDay);
        when = day | PackTime(0, 0, 0, rest / 3600, rest / 60 % 60, rest % 60);
      } else {
        const ResultTime t = CivilFromSeconds(whenSecs);
        when = PackTime(t);
        day = PackTime(t.year, t.month, t.day, 0, 0, 0);
        dayStart = whenSecs - (t.hour * 3600 + t.minute * 60 + t.second);
        haveDay = true;
      }
      clock = when;
      clockSecs = whenSecs;
      haveClock = true;
    }
    const std::int64_t row = c.row + rowStep;
    ResultRecord* const r = place(row);
    if (!r) return false;
    const auto status32 = static_cast<std::int32_t>(status);
    const auto ttl16 = static_cast<std::int16_t>(ttl);
    WriteRecord(r, when, target_, static_cast<std::int32_t>(size), time, status32, ttl16);
    const auto pass = static_cast<std::uint32_t>(c.pass + passStep);
    echo(pass, sent, roundTrip, time, status32, ttl16);

    c.row = row;
    c.rowStep = rowStep;
    c.pass = pass;
    c.sent = sent;
    c.whenSecs = whenSecs;
    c.ttl = ttl;
    c.size = size;
  }
  at_ = at;
  cursor_ = c;
  haveDay_ = haveDay;
  dayStart_ = dayStart;
  day_ = day;
  haveClock_ = haveClock;
  clockSecs_ = clockSecs;
  clock_ = clock;
  return true;
}

bool ChunkReader::next(DecodedResult& out) {
  return read(
      1,
      [&out](std::int64_t row) {
        out.row = row;
        return &out.result.record;
      },
      [&out](std::uint32_t pass, std::int64_t sent, std::int64_t roundTrip, std::int32_t, std::int32_t, std::int16_t) {
        out.result.pass = pass;
        out.result.sentUtcUs = sent;
        out.result.roundTripUs = roundTrip;
      });
}

RecordFill::RecordFill(ResultRecord* records, std::int64_t rows, std::int64_t from, std::int64_t to)
    : records_(records), rows_(rows), from_(from), to_(to) {}

bool RecordFill::add(std::uint32_t target, std::int64_t firstRow, int count, const unsigned char* data,
                     std::size_t size, bool& beyond) {
  beyond = false;
  reader_.start(target, firstRow, data, size);
  // The figures are summed without branches (a lost reply comes at random),
  // in locals rather than in the records being written.
  std::int64_t placed = 0, sent = 0, lost = 0, timeSum = 0, ttlSum = 0;
  std::int64_t minTime = counts_.minTime, maxTime = counts_.maxTime;
  ResultRecord skipped;
  bool stored = false;
  auto place = [&](std::int64_t row) -> ResultRecord* {
    stored = false;
    if (row < firstRow || row < 0 || row >= rows_) return nullptr;
    if (row >= to_) {
      beyond = true;
      return &skipped;
    }
    if (row < from_) return &skipped;
    stored = true;
    return records_ + row;
  };
  auto tally = [&](std::uint32_t, std::int64_t, std::int64_t, std::int32_t time, std::int32_t status,
                   std::int16_t ttl) {
    const bool counted = stored && status != kDamagedLineStatus;
    const bool reply = counted && time >= 0;
    placed += stored;
    sent += counted;
    lost += counted && !reply;
    const std::int64_t t = reply ? time : 0;
    timeSum += t;
    ttlSum += reply ? ttl : 0;
    maxTime = std::max(maxTime, t);
    minTime = std::min(minTime, reply ? t : kNoMinimum);
  };
  const bool whole = reader_.read(count, place, tally);
  placed_ += placed;
  counts_.sent += sent;
  counts_.lost += lost;
  counts_.timeSum += timeSum;
  counts_.ttlSum += ttlSum;
  counts_.minTime = minTime;
  counts_.maxTime = maxTime;
  return whole;
}

}  // namespace sondrel
