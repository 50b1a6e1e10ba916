#pragma once
// One target's echoes as the latency chart reads them, with the summaries
// that let it draw a day of them at any zoom without walking every echo per
// frame. A span holding few echoes per pixel column is walked echo by echo
// and its columns are exact. A span holding more is read from blocks of a
// fixed length in time (a power of two microseconds, about an eighth of a
// column), each summed once when first needed: a column's counts, minimum
// and maximum are those of the blocks starting in it (a block may reach an
// eighth of a column into the next), its quartiles and median are read
// from its blocks' exact five figures, each carrying its share of the
// block's replies.

#include <cstdint>
#include <map>
#include <vector>

#include "archive/RunArchive.h"

namespace sondrel {

// One pixel column's echoes.
struct EchoColumn {
  std::int64_t replies = 0, lost = 0;
  std::int64_t minUs = 0, q1Us = 0, medianUs = 0, q3Us = 0, maxUs = 0;
};

class EchoSeries {
 public:
  // Above this many echoes per column on average a span is read from blocks.
  static constexpr std::int64_t kExactPerColumn = 8;

  EchoSeries() = default;
  explicit EchoSeries(std::vector<ArchivedEcho> echoes);

  // Echoes sent after those held (others are left out); the blocks they
  // fall in are summed again when next read.
  void append(const std::vector<ArchivedEcho>& more);
  const std::vector<ArchivedEcho>& echoes() const { return echoes_; }
  // The send time of the latest echo held; nothing held: INT64_MIN.
  std::int64_t lastSentUs() const;

  // The columns of [fromUs, toUs] cut into `width` columns (an echo at toUs
  // in the last). `exact` tells whether they were walked echo by echo.
  std::vector<EchoColumn> columns(std::int64_t fromUs, std::int64_t toUs, int width, bool* exact = nullptr) const;
  // How many echoes were sent within [fromUs, toUs].
  std::int64_t countIn(std::int64_t fromUs, std::int64_t toUs) const;

 private:
  // Round trips in 32 bits: a reply comes within seconds, not 35 minutes.
  struct Block {
    std::int32_t replies = 0, lost = 0;
    std::int32_t minUs = 0, q1Us = 0, medianUs = 0, q3Us = 0, maxUs = 0;
  };
  struct Level {
    std::vector<Block> blocks;  // block k: [origin + k << shift, origin + (k + 1) << shift)
  };
  const Level& level(int shift) const;
  void sumBlocks(Level& level, int shift, std::size_t fromBlock) const;
  std::vector<EchoColumn> exactColumns(std::int64_t fromUs, std::int64_t toUs, int width) const;

  std::vector<ArchivedEcho> echoes_;
  std::int64_t originUs_ = 0;  // the first echo's send time
  mutable std::map<int, Level> levels_;
};

}  // namespace sondrel
