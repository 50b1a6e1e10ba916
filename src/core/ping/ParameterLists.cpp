#include "core/ping/ParameterLists.h"

#include <cmath>
#include <limits>

namespace sondrel {
namespace {

constexpr std::string_view kMilliseconds = "  Milliseconds";
constexpr std::string_view kBytesSuffix = " Bytes";

std::vector<std::string> MillisecondItems(int thousandsUpTo) {
  std::vector<std::string> items;
  for (int n = 1; n <= 9; ++n) items.push_back(std::to_string(n) + "0" + std::string(kMilliseconds));
  for (int n = 1; n <= 9; ++n) items.push_back(std::to_string(n) + "00" + std::string(kMilliseconds));
  for (int n = 1; n <= thousandsUpTo; ++n)
    items.push_back(std::to_string(n) + "000" + std::string(kMilliseconds));
  return items;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// The leading number as a whole number of at least 1 that fits 32 bits;
// nothing otherwise. Fractions are rounded to the nearest whole number.
std::optional<std::int32_t> PositiveWhole(std::string_view text) {
  const auto n = LeadingNumber(text);
  if (!n) return std::nullopt;
  const double r = std::round(*n);
  if (r < 1 || r > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  return static_cast<std::int32_t>(r);
}

ParsedValue Parsed(std::optional<std::int32_t> v, std::int32_t fallback, std::string_view message) {
  if (v) return {*v, {}};
  return {fallback, std::string(message)};
}

// A whole number filling the whole (trimmed) text, optionally negative.
std::optional<std::int64_t> WholeNumber(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 10) return std::nullopt;
  std::int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return negative ? -v : v;
}

std::string Blanks(std::int32_t n) { return std::string(static_cast<std::size_t>(n), ' '); }

}  // namespace

std::vector<std::string> IntervalItems() {
  auto items = MillisecondItems(60);
  items.emplace_back(kAdvancedItem);
  return items;
}

std::vector<std::string> TimeOutItems() { return MillisecondItems(9); }

std::vector<std::string> BufferSizeItems() {
  std::vector<std::string> items;
  for (int size : {8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384, 32000})
    items.push_back(std::to_string(size) + "  Bytes");
  items.emplace_back(kMultipleSizesItem);
  items.emplace_back(kStepUpItem);
  items.emplace_back(kAdvancedItem);
  return items;
}

std::vector<std::string> TimesItems() {
  std::vector<std::string> items{std::string(kContinuallyItem)};
  for (int n : {1, 2, 4, 8, 16, 32, 64, 128, 256, 500, 1000, 2000, 4000, 8000, 16000, 32000,
                64000, 100000})
    items.push_back(std::to_string(n));
  return items;
}

std::optional<double> LeadingNumber(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  std::size_t i = 0;
  double value = 0;
  bool digits = false;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    value = value * 10 + (text[i] - '0');
    digits = true;
    ++i;
  }
  if (i < text.size() && text[i] == '.') {
    double scale = 0.1;
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, scale /= 10) {
      value += (text[i] - '0') * scale;
      digits = true;
    }
  }
  if (!digits) return std::nullopt;
  return value;
}

ParsedValue ParseTimeOut(std::string_view text) {
  return Parsed(PositiveWhole(text), kDefaultTimeOutMs, kInvalidTimeOut);
}

ParsedValue ParseInterval(std::string_view text) {
  return Parsed(PositiveWhole(text), kDefaultIntervalMs, kInvalidInterval);
}

ParsedValue ParseTimes(std::string_view text) {
  if (Trim(text) == kContinuallyItem) return {0, {}};
  return Parsed(PositiveWhole(text), kDefaultTimes, kInvalidTimes);
}

std::string AdvancedIntervalText(const AdvancedInterval& a) {
  const std::int32_t magnitude = a.step < 0 ? -a.step : a.step;
  return std::to_string(a.start) + " to " + std::to_string(a.limit) + ", " +
         std::to_string(magnitude) + (a.step < 0 ? "--" : "++");
}

std::optional<AdvancedInterval> ParseAdvancedIntervalText(std::string_view text) {
  text = Trim(text);
  const auto to = text.find(" to ");
  const auto comma = text.find(", ", to == std::string_view::npos ? 0 : to);
  if (to == std::string_view::npos || comma == std::string_view::npos || text.size() < 2)
    return std::nullopt;
  const std::string_view sign = text.substr(text.size() - 2);
  if (sign != "++" && sign != "--") return std::nullopt;
  const auto start = WholeNumber(text.substr(0, to));
  const auto limit = WholeNumber(text.substr(to + 4, comma - to - 4));
  const auto step = WholeNumber(text.substr(comma + 2, text.size() - 2 - comma - 2));
  if (!start || !limit || !step || *start < 0 || *limit < 0 || *step < 0) return std::nullopt;
  const auto big = std::numeric_limits<std::int32_t>::max();
  if (*start > big || *limit > big || *step > big) return std::nullopt;
  AdvancedInterval a{static_cast<std::int32_t>(*start),
                     static_cast<std::int32_t>(sign == "--" ? -*step : *step),
                     static_cast<std::int32_t>(*limit)};
  if (!ValidateAdvancedInterval(a).empty()) return std::nullopt;
  return a;
}

std::string ValidateAdvancedInterval(const AdvancedInterval& a) {
  if (a.start < 1) return "Inalid Start Interval. It must be 1 Milliseconds or more.       ";
  if (a.limit < 1) return "Inalid Interval Limit. It must be 1 Milliseconds or more.       ";
  if (a.step == 0) return "Inalid Interval Step. It must not be 0.       ";
  if (a.start == a.limit)
    return "Inalid Interval Limit. It must differ from the start interval.       ";
  if ((a.limit > a.start) != (a.step > 0))
    return "Inalid Interval Step. A step up needs a limit above the start, a step down a "
           "limit below it.       ";
  return {};
}

ParsedBuffer ParseBufferSize(std::string_view text) {
  ParsedBuffer out;
  if (text == kMultipleSizesItem) {
    out.setting.mode = BufferMode::Multiple;
    out.setting.sizes = {16, 32, 64, 1024};
    out.setting.numberOfSizes = 4;
    out.setting.pingsPerSize = 4;
    return out;
  }
  if (text == kStepUpItem) {
    out.setting.mode = BufferMode::Incremental;
    out.setting.startSize = 32;
    out.setting.step = 32;
    out.setting.numberOfSizes = 1000;
    out.setting.pingsPerSize = 1;
    out.setsTimesToStepUp = true;
    return out;
  }
  std::string rest(text);
  for (auto at = rest.find(kBytesSuffix); at != std::string::npos; at = rest.find(kBytesSuffix))
    rest.erase(at, kBytesSuffix.size());
  // Read wide, then check: a size is 32 bits and must fit the reply room.
  const auto n = LeadingNumber(rest);
  const double r = n ? std::round(*n) : 0;
  if (r < 1) {
    out.message = std::string(kInvalidBufferSize);
  } else if (r > kMaxBufferSize) {
    out.message = std::string(kBufferSizeTooLarge);
  } else {
    out.setting.size = static_cast<std::int32_t>(r);
  }
  return out;
}

std::string ValidateBufferSetting(const BufferSetting& s) {
  const std::string range = " It must be 1 to " + std::to_string(kMaxBufferSize) + " Bytes.       ";
  if (s.pingsPerSize < 1 || s.pingsPerSize > 32767)
    return "Inalid Pings Per Size. It must be 1 to 32767.       ";
  switch (s.mode) {
    case BufferMode::Single:
      if (s.size < 1 || s.size > kMaxBufferSize) return "Inalid Buffer Size Value." + range;
      break;
    case BufferMode::Incremental: {
      if (s.numberOfSizes < 1 || s.numberOfSizes > 32767)
        return "Inalid Number Of Sizes. It must be 1 to 32767.       ";
      if (s.startSize < 1 || s.startSize > kMaxBufferSize) return "Inalid Start Size." + range;
      if (s.step == 0) return "Inalid Size Step. It must not be 0.       ";
      const std::int64_t last =
          std::int64_t{s.startSize} + std::int64_t{s.step} * (s.numberOfSizes - 1);
      if (last < 1 || last > kMaxBufferSize)
        return "Inalid Size Step. The last size would be " + std::to_string(last) + " Bytes;" +
               range;
      break;
    }
    case BufferMode::Multiple:
      if (s.sizes.empty() || s.sizes.size() > 32767)
        return "Inalid Size List. Enter sizes separated by \",\".       ";
      for (auto size : s.sizes)
        if (size < 1 || size > kMaxBufferSize)
          return "Inalid Size List: " + std::to_string(size) + " Bytes." + range;
      if (s.numberOfSizes != static_cast<std::int32_t>(s.sizes.size()))
        return "Inalid Number Of Sizes. It must match the size list.       ";
      break;
  }
  return {};
}

std::optional<std::vector<std::int32_t>> ParseSizeList(std::string_view text) {
  std::vector<std::int32_t> sizes;
  if (Trim(text).empty()) return std::nullopt;
  while (true) {
    const auto comma = text.find(',');
    const auto n = ParseWholeNumber(text.substr(0, comma));
    if (!n) return std::nullopt;
    sizes.push_back(*n);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return sizes;
}

void ApplyBufferSetting(const BufferSetting& s, PingParameters& p) {
  p.mode = s.mode;
  p.numberOfSizes = s.numberOfSizes;
  p.pingsPerSize = s.pingsPerSize;
  p.startSize = s.startSize;
  p.step = s.step;
  p.sizes.clear();
  p.sizeData.clear();
  switch (s.mode) {
    case BufferMode::Single:
      p.numberOfSizes = 1;
      p.pingsPerSize = 1;
      p.sizes = {s.size};
      p.sizeData = {Blanks(s.size)};
      break;
    case BufferMode::Multiple:
      p.sizes = s.sizes;
      for (auto size : s.sizes) p.sizeData.push_back(Blanks(size));
      break;
    case BufferMode::Incremental:
      break;
  }
  p.size = FirstSize(s);
  p.sendData = Blanks(p.size);
  ++p.bufferChanges;
}

std::string AdvancedBufferText(const BufferSetting& s) {
  const std::string each = ", " + std::to_string(s.pingsPerSize) + " pings each";
  switch (s.mode) {
    case BufferMode::Incremental: {
      const std::int64_t last =
          std::int64_t{s.startSize} + std::int64_t{s.step} * (s.numberOfSizes - 1);
      const std::int64_t magnitude = s.step < 0 ? -std::int64_t{s.step} : s.step;
      return std::to_string(s.startSize) + " to " + std::to_string(last) + ", " +
             std::to_string(magnitude) + (s.step < 0 ? "--" : "++") + "  Bytes" + each;
    }
    case BufferMode::Multiple: {
      std::string out;
      for (auto size : s.sizes) out += (out.empty() ? "" : ",") + std::to_string(size);
      return out + "  Bytes" + each;
    }
    case BufferMode::Single:
      break;
  }
  return std::to_string(s.size) + "  Bytes";
}

std::optional<std::int32_t> ParseWholeNumber(std::string_view text) {
  const auto n = WholeNumber(text);
  if (!n || *n < std::numeric_limits<std::int32_t>::min() ||
      *n > std::numeric_limits<std::int32_t>::max())
    return std::nullopt;
  return static_cast<std::int32_t>(*n);
}

std::int32_t FirstSize(const BufferSetting& s) {
  switch (s.mode) {
    case BufferMode::Incremental:
      return s.startSize;
    case BufferMode::Multiple:
      return s.sizes.empty() ? kDefaultBufferSize : s.sizes.front();
    case BufferMode::Single:
      break;
  }
  return s.size;
}

}  // namespace sondrel
