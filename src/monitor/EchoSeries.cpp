#include "monitor/EchoSeries.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace sondrel {
namespace {

// The value at quantile q of sorted values by nearest rank.
template <typename V>
auto At(const V& sorted, double q) {
  return sorted[std::min(sorted.size() - 1, static_cast<std::size_t>(q * static_cast<double>(sorted.size() - 1) + 0.5))];
}

std::int32_t Clamped(std::int64_t us) {
  return static_cast<std::int32_t>(std::min<std::int64_t>(us, std::numeric_limits<std::int32_t>::max()));
}

// The column an echo sent at `t` falls in: the same cut for echoes and for
// the blocks that start at `t`.
std::size_t ColumnOf(std::int64_t t, std::int64_t from, double span, int width) {
  const double c = static_cast<double>(t - from) / span * width;
  return std::min(static_cast<std::size_t>(width - 1), static_cast<std::size_t>(std::max(0.0, c)));
}

// A column's quantiles from its blocks: each block's replies spread over
// its five figures (each quarter of them half at either end of its quarter:
// an eighth at the minimum and the maximum, a quarter at each quartile and
// the median), all weighed together.
struct Weighted {
  std::int64_t value, weight;
  bool operator<(const Weighted& o) const { return value < o.value; }
};
// Sorted points, their total weight: the smallest value with at least q of
// the weight at or below it.
std::int64_t WeightedQuantile(const std::vector<Weighted>& sorted, std::int64_t total, double q) {
  const double wanted = std::max(1.0, q * static_cast<double>(total));
  std::int64_t sum = 0;
  for (const Weighted& w : sorted) {
    sum += w.weight;
    if (static_cast<double>(sum) >= wanted) return w.value;
  }
  return sorted.back().value;
}

}  // namespace

EchoSeries::EchoSeries(std::vector<ArchivedEcho> echoes) : echoes_(std::move(echoes)) {
  if (!echoes_.empty()) originUs_ = echoes_.front().sentUtcUs;
}

std::int64_t EchoSeries::lastSentUs() const {
  return echoes_.empty() ? std::numeric_limits<std::int64_t>::min() : echoes_.back().sentUtcUs;
}

void EchoSeries::append(const std::vector<ArchivedEcho>& more) {
  const std::size_t before = echoes_.size();
  for (const ArchivedEcho& e : more)
    if (echoes_.empty() || e.sentUtcUs >= echoes_.back().sentUtcUs) echoes_.push_back(e);
  if (echoes_.size() == before) return;
  if (before == 0) {
    originUs_ = echoes_.front().sentUtcUs;
    levels_.clear();
    return;
  }
  // Each level again from the block the first new echo falls in.
  const std::int64_t first = echoes_[before].sentUtcUs - originUs_;
  for (auto& [shift, level] : levels_) {
    const auto from = static_cast<std::size_t>(first >> shift);
    level.blocks.resize(std::min(level.blocks.size(), from));
    sumBlocks(level, shift, level.blocks.size());
  }
}

std::int64_t EchoSeries::countIn(std::int64_t fromUs, std::int64_t toUs) const {
  auto bySent = [](const ArchivedEcho& e, std::int64_t t) { return e.sentUtcUs < t; };
  const auto a = std::lower_bound(echoes_.begin(), echoes_.end(), fromUs, bySent);
  const auto b = std::lower_bound(a, echoes_.end(), toUs == std::numeric_limits<std::int64_t>::max() ? toUs : toUs + 1, bySent);
  return b - a;
}

void EchoSeries::sumBlocks(Level& level, int shift, std::size_t fromBlock) const {
  const std::int64_t start = originUs_ + (static_cast<std::int64_t>(fromBlock) << shift);
  auto it = std::lower_bound(echoes_.begin(), echoes_.end(), start,
                             [](const ArchivedEcho& e, std::int64_t t) { return e.sentUtcUs < t; });
  std::vector<std::int64_t> replies;
  while (it != echoes_.end()) {
    const auto k = static_cast<std::size_t>((it->sentUtcUs - originUs_) >> shift);
    if (level.blocks.size() <= k) level.blocks.resize(k + 1);
    Block& b = level.blocks[k];
    replies.clear();
    for (; it != echoes_.end() && static_cast<std::size_t>((it->sentUtcUs - originUs_) >> shift) == k; ++it) {
      if (it->roundTripUs < 0)
        ++b.lost;
      else
        replies.push_back(it->roundTripUs);
    }
    b.replies = static_cast<std::int32_t>(replies.size());
    if (replies.empty()) continue;
    std::sort(replies.begin(), replies.end());
    b.minUs = Clamped(replies.front());
    b.q1Us = Clamped(At(replies, 0.25));
    b.medianUs = Clamped(At(replies, 0.5));
    b.q3Us = Clamped(At(replies, 0.75));
    b.maxUs = Clamped(replies.back());
  }
}

const EchoSeries::Level& EchoSeries::level(int shift) const {
  auto [it, made] = levels_.try_emplace(shift);
  if (made) sumBlocks(it->second, shift, 0);
  return it->second;
}

std::vector<EchoColumn> EchoSeries::exactColumns(std::int64_t fromUs, std::int64_t toUs, int width) const {
  std::vector<EchoColumn> columns(static_cast<std::size_t>(width));
  const double span = static_cast<double>(toUs - fromUs);
  auto bySent = [](const ArchivedEcho& e, std::int64_t t) { return e.sentUtcUs < t; };
  auto it = std::lower_bound(echoes_.begin(), echoes_.end(), fromUs, bySent);
  std::vector<std::int64_t> replies;
  while (it != echoes_.end() && it->sentUtcUs <= toUs) {
    const std::size_t c = ColumnOf(it->sentUtcUs, fromUs, span, width);
    EchoColumn& col = columns[c];
    replies.clear();
    for (; it != echoes_.end() && it->sentUtcUs <= toUs && ColumnOf(it->sentUtcUs, fromUs, span, width) == c; ++it) {
      if (it->roundTripUs < 0)
        ++col.lost;
      else
        replies.push_back(it->roundTripUs);
    }
    col.replies = static_cast<std::int64_t>(replies.size());
    if (replies.empty()) continue;
    std::sort(replies.begin(), replies.end());
    col.minUs = replies.front();
    col.q1Us = At(replies, 0.25);
    col.medianUs = At(replies, 0.5);
    col.q3Us = At(replies, 0.75);
    col.maxUs = replies.back();
  }
  return columns;
}

std::vector<EchoColumn> EchoSeries::columns(std::int64_t fromUs, std::int64_t toUs, int width, bool* exact) const {
  width = std::max(1, width);
  toUs = std::max(toUs, fromUs + 1);
  const bool walk = echoes_.empty() || countIn(fromUs, toUs) <= kExactPerColumn * width;
  if (exact) *exact = walk;
  if (walk) return exactColumns(fromUs, toUs, width);

  // Blocks of about an eighth of a column; the echoes of the blocks cut by
  // the span's ends are taken one by one.
  const double span = static_cast<double>(toUs - fromUs);
  const auto columnUs = static_cast<std::uint64_t>(std::max(1.0, span / width / 4));
  const int shift = std::bit_width(columnUs) - 1;
  const Level& lv = level(shift);
  const std::int64_t blockUs = std::int64_t{1} << shift;
  auto blockStart = [&](std::int64_t k) { return originUs_ + (k << shift); };
  // Whole blocks: those starting at or after fromUs and ending by toUs.
  std::int64_t firstBlock = fromUs <= originUs_ ? 0 : (fromUs - originUs_ + blockUs - 1) >> shift;
  std::int64_t endBlock = toUs < originUs_ ? 0 : ((toUs - originUs_ + 1) >> shift);
  endBlock = std::min<std::int64_t>(endBlock, static_cast<std::int64_t>(lv.blocks.size()));
  if (endBlock < firstBlock) endBlock = firstBlock;

  // Echoes and blocks come in time order, so column by column: each is
  // gathered, then summed when the next begins.
  std::vector<EchoColumn> columns(static_cast<std::size_t>(width));
  std::size_t current = 0;
  EchoColumn* col = &columns[0];
  std::int64_t minUs = std::numeric_limits<std::int64_t>::max(), maxUs = 0;
  std::vector<Weighted> points;
  auto flush = [&] {
    if (col->replies == 0) return;
    col->minUs = minUs;
    col->maxUs = maxUs;
    std::sort(points.begin(), points.end());
    const std::int64_t total = 8 * col->replies;
    col->q1Us = WeightedQuantile(points, total, 0.25);
    col->medianUs = WeightedQuantile(points, total, 0.5);
    col->q3Us = WeightedQuantile(points, total, 0.75);
  };
  auto take = [&](std::size_t c, std::int64_t replies, std::int64_t lost, std::int64_t mn, std::int64_t lq,
                  std::int64_t md, std::int64_t uq, std::int64_t mx) {
    if (c != current) {
      flush();
      current = c;
      col = &columns[c];
      minUs = std::numeric_limits<std::int64_t>::max();
      maxUs = 0;
      points.clear();
    }
    col->lost += lost;
    if (replies == 0) return;
    col->replies += replies;
    minUs = std::min(minUs, mn);
    maxUs = std::max(maxUs, mx);
    if (replies == 1) {
      points.push_back({md, 8});
      return;
    }
    points.push_back({mn, replies});
    points.push_back({lq, 2 * replies});
    points.push_back({md, 2 * replies});
    points.push_back({uq, 2 * replies});
    points.push_back({mx, replies});
  };
  auto takeEcho = [&](const ArchivedEcho& e) {
    const std::size_t c = ColumnOf(e.sentUtcUs, fromUs, span, width);
    if (e.roundTripUs < 0)
      take(c, 0, 1, 0, 0, 0, 0, 0);
    else
      take(c, 1, 0, e.roundTripUs, e.roundTripUs, e.roundTripUs, e.roundTripUs, e.roundTripUs);
  };
  auto bySent = [](const ArchivedEcho& e, std::int64_t t) { return e.sentUtcUs < t; };
  // Echoes in the range before the first whole block and after the last.
  const std::int64_t wholeFrom = std::max(fromUs, blockStart(firstBlock));
  const std::int64_t wholeTo = std::max(wholeFrom, blockStart(endBlock));  // exclusive
  for (auto it = std::lower_bound(echoes_.begin(), echoes_.end(), fromUs, bySent);
       it != echoes_.end() && it->sentUtcUs < wholeFrom && it->sentUtcUs <= toUs; ++it)
    takeEcho(*it);
  for (std::int64_t k = firstBlock; k < endBlock; ++k) {
    const Block& b = lv.blocks[static_cast<std::size_t>(k)];
    if (b.replies == 0 && b.lost == 0) continue;
    take(ColumnOf(blockStart(k), fromUs, span, width), b.replies, b.lost, b.minUs, b.q1Us, b.medianUs, b.q3Us,
         b.maxUs);
  }
  for (auto it = std::lower_bound(echoes_.begin(), echoes_.end(), wholeTo, bySent);
       it != echoes_.end() && it->sentUtcUs <= toUs; ++it)
    takeEcho(*it);
  flush();
  return columns;
}

}  // namespace sondrel
