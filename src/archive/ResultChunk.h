#pragma once
// The stored form of a target's results: up to RunArchive::kChunkResults
// results of one target in one blob, each encoded against the one before.
//
// A result is a flag byte, an optional second flag byte, then only the
// fields that the flags do not give:
//   flags  b0 row step as the previous one's   b1 pass is the previous + 1
//          b2 a reply (round trip follows)      b3-b4 local time: 0 as
//          predicted from the sent step, 1 one second later, 2 one earlier,
//          3 given (its step from the previous one's follows)
//          b5 TTL as before   b6 size as before   b7 second flag byte follows
//   flags2 b0 status given    b1 ms time given (not round trip / 1000)
//          b2 local time given field by field (one without a date)
//   then: row step, pass step, sent step (always), round trip, local time
//   step, TTL, size, status, ms time (zigzag varints), the seven bytes of a
//   local time given field by field.
// The first result of a chunk is encoded against zeros (but its row).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "archive/RunArchive.h"

namespace sondrel {

// Seconds of a local date and time counted from 1970-01-01 00:00:00 as if
// every day had 86,400 of them; nothing when a field is missing or the date
// is no calendar date.
std::optional<std::int64_t> ChunkCivilSeconds(const ResultTime& t);

// The chunk's position: what the next result is encoded against.
struct ChunkCursor {
  std::int64_t row = 0;
  std::int64_t rowStep = 0;
  std::int64_t pass = 0;
  std::int64_t sent = 0;
  std::int64_t whenSecs = 0;
  std::int64_t ttl = 0;
  std::int64_t size = 0;
};

class ResultChunk {
 public:
  // Appends the result at `row` of the run.
  void add(std::int64_t row, const ArchiveResult& result);
  std::int64_t firstRow() const { return firstRow_; }
  int count() const { return count_; }
  std::int64_t firstSent() const { return firstSent_; }
  std::int64_t lastSent() const { return lastSent_; }
  const std::string& bytes() const { return bytes_; }
  bool dirty() const { return dirty_; }
  void markClean() { dirty_ = false; }

 private:
  std::int64_t firstRow_ = 0;
  int count_ = 0;
  std::int64_t firstSent_ = 0;
  std::int64_t lastSent_ = 0;
  std::string bytes_;
  ChunkCursor cursor_;
  bool dirty_ = false;
};

struct DecodedResult {
  std::int64_t row = 0;
  ArchiveResult result;
};

class ChunkReader {
 public:
  void start(std::uint32_t target, std::int64_t firstRow, const unsigned char* data, std::size_t size);
  // The next result; false when the bytes end or do not read as one.
  bool next(DecodedResult& out);

 private:
  friend class RecordFill;
  template <typename Place, typename Echo>
  bool read(int count, Place&& place, Echo&& echo);

  std::uint32_t target_ = 0;
  // The day of the last local time worked out, as the first four bytes of
  // a record's time lie in memory: most results fall on it, and its date
  // need not be worked out again.
  bool haveDay_ = false;
  std::int64_t dayStart_ = 0;
  std::uint64_t day_ = 0;
  // The last time worked out, and its seconds.
  bool haveClock_ = false;
  std::int64_t clockSecs_ = 0;
  std::uint64_t clock_ = 0;
  const unsigned char* at_ = nullptr;
  const unsigned char* end_ = nullptr;
  ChunkCursor cursor_;
};

// Chunks decoded into a run's records in place, each result at its row.
// A filler stores the rows of one range of the run, so that two threads can
// fill two ranges of the same records: a chunk that began in an earlier
// range has the rows before this one skipped, and a chunk that goes on past
// this range is told, for the filler of the next range to read again.
class RecordFill {
 public:
  // `records` holds the run's `rows` records; this filler stores [from, to).
  RecordFill(ResultRecord* records, std::int64_t rows, std::int64_t from, std::int64_t to);
  // Decodes the chunk of `count` results. False when it does not read
  // whole or a row falls outside the run or before the chunk's first row.
  // `beyond` is set when some of its rows come after this range.
  bool add(std::uint32_t target, std::int64_t firstRow, int count, const unsigned char* data, std::size_t size,
           bool& beyond);
  // Results stored; sent, lost, sums and extremes as CountResult keeps
  // them (no averages), damaged log lines counted in none.
  std::int64_t placed() const { return placed_; }
  const RunStatistics& counts() const { return counts_; }

 private:
  ResultRecord* records_;
  std::int64_t rows_, from_, to_;
  std::int64_t placed_ = 0;
  RunStatistics counts_;
  ChunkReader reader_;
};

}  // namespace sondrel
