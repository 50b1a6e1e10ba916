#include "core/ping/RunRecords.h"

#include "core/common/AddressHelpers.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <iterator>
#include <limits>

#include "core/ping/PingMoudle.h"
#include "core/iplist/Targets.h"

namespace sondrel {
namespace {

constexpr std::int64_t kLinesPerProgress = 65536;

// Two-digit field: "0" before a value below 10; blanks when the field is missing.
void appendField2(std::string& out, std::uint8_t v) {
  if (v == ResultTime::kNoField) {
    out += "  ";
    return;
  }
  if (v < 10) out += '0';
  out += std::to_string(v);
}

void appendYear(std::string& out, std::uint16_t v) {
  if (v == ResultTime::kNoYear) {
    out += "    ";
    return;
  }
  out += std::to_string(v);
}

std::string_view trimBlanks(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

// Whole decimal number of a field (outer blanks allowed); false when the
// field is not one or does not fit T.
template <typename T>
bool parseNumber(std::string_view field, T& out) {
  field = trimBlanks(field);
  if (!field.empty() && field.front() == '+') field.remove_prefix(1);
  std::int64_t v = 0;
  auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), v);
  if (field.empty() || ec != std::errc() || end != field.data() + field.size()) return false;
  if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max()) return false;
  out = static_cast<T>(v);
  return true;
}

// A date or time field cut to its width, as a number; `none` when it is not one.
template <typename T>
T parseTimeField(std::string_view field, size_t width, T none, int limit) {
  field = trimBlanks(field).substr(0, width);
  int v = 0;
  if (!parseNumber(field, v) || v < 0 || v > limit) return none;
  return static_cast<T>(v);
}

std::string msText(std::int64_t v) { return std::to_string(v) + " ms"; }

}  // namespace

ResultTime ResultTime::from(const LocalDateTime& t) {
  ResultTime r;
  r.year = static_cast<std::uint16_t>(t.year);
  r.month = static_cast<std::uint8_t>(t.month);
  r.day = static_cast<std::uint8_t>(t.day);
  r.hour = static_cast<std::uint8_t>(t.hour);
  r.minute = static_cast<std::uint8_t>(t.minute);
  r.second = static_cast<std::uint8_t>(t.second);
  return r;
}

void CountResult(RunStatistics& stats, const ResultRecord& record) {
  ++stats.sent;
  if (record.time < 0) {
    ++stats.lost;
    return;
  }
  stats.timeSum += record.time;
  stats.ttlSum += record.ttl;
  if (record.time > stats.maxTime) stats.maxTime = record.time;
  if (record.time < stats.minTime) stats.minTime = record.time;
  // floor(sum / received + 0.5) in whole numbers; sums are never negative.
  const std::int64_t received = stats.received();
  stats.avgTime = (2 * stats.timeSum + received) / (2 * received);
  stats.avgTtl = (2 * stats.ttlSum + received) / (2 * received);
}

void RaiseZeroTimes(RunStatistics& stats) {
  if (stats.received() < 1) return;  // all lost: the figures stay unset
  if (stats.maxTime == 0) stats.maxTime = 1;
  if (stats.minTime == 0) stats.minTime = 1;
  if (stats.avgTime == 0) stats.avgTime = 1;
}

std::int64_t LossHundredths(std::int64_t sent, std::int64_t lost) {
  if (sent <= 0) return 0;
  // Past 9e14 results the last digits cannot matter; scale down to stay exact
  // in 64 bits.
  while (sent > std::numeric_limits<std::int64_t>::max() / 20000) {
    sent /= 2;
    lost /= 2;
  }
  // lost * 10000 / sent to a whole number, halves to even.
  const std::int64_t num = lost * 10000;
  std::int64_t q = num / sent;
  const std::int64_t rem2 = (num % sent) * 2;
  if (rem2 > sent || (rem2 == sent && (q % 2) == 1)) ++q;
  return q;
}

std::string FormatLossRate(std::int64_t sent, std::int64_t lost) {
  const std::int64_t hundredths = LossHundredths(sent, lost);
  std::string frac = std::to_string(hundredths % 100);
  if (frac.size() < 2) frac.insert(0, 1, '0');
  return std::to_string(hundredths / 100) + "." + frac + " %";
}

StatisticsTexts FormatStatistics(const RunStatistics& in) {
  RunStatistics s = in;
  StatisticsTexts t;
  t.sent = std::to_string(s.sent);
  t.received = std::to_string(s.received());
  t.lost = std::to_string(s.lost);
  t.lossRate = FormatLossRate(s.sent, s.lost);
  if (!s.anyReply()) {
    t.minTime = t.maxTime = t.avgTime = "0 ms";
  } else {
    RaiseZeroTimes(s);
    t.minTime = msText(s.minTime);
    t.maxTime = msText(s.maxTime);
    t.avgTime = msText(s.avgTime);
  }
  t.avgTtl = std::to_string(s.avgTtl);
  return t;
}

std::vector<std::string> FormatStatisticsLines(const RunStatistics& stats) {
  const StatisticsTexts t = FormatStatistics(stats);
  return {
      "Sent:       " + t.sent,    "Received:   " + t.received, "Lost:       " + t.lost,
      "Loss Rate:  " + t.lossRate, "Min Time:   " + t.minTime,  "Max Time:   " + t.maxTime,
      "Avg Time:   " + t.avgTime, "Avg TTL:    " + t.avgTtl,
  };
}

std::string_view RunData::ip(const ResultRecord& record) const {
  if (record.target >= addresses.size()) return {};
  return addresses[record.target];
}

std::uint32_t RunData::internAddress(std::string_view address) {
  const std::string_view cut = trimBlanks(address.substr(0, kRecordIPWidth));
  // Records come in target order, so the entry after the last one found is
  // nearly always the one wanted; that case makes no string.
  if (lookupHint_ < addresses.size() && addresses[lookupHint_] == cut) return lookupHint_++;
  std::string ip(cut);
  auto [it, added] = lookup_.try_emplace(ip, static_cast<std::uint32_t>(addresses.size()));
  if (added) addresses.push_back(std::move(ip));
  lookupHint_ = it->second + 1;
  return it->second;
}

void RunData::clear() { *this = RunData(); }

std::string RecordIP(std::string_view address) {
  return std::string(trimBlanks(address.substr(0, kRecordIPWidth)));
}

std::string FormatResultTimeShort(const ResultRecord& r) {
  std::string out;
  out.reserve(14);
  appendField2(out, r.when.month);
  out += '/';
  appendField2(out, r.when.day);
  out += ' ';
  appendField2(out, r.when.hour);
  out += ':';
  appendField2(out, r.when.minute);
  out += ':';
  appendField2(out, r.when.second);
  return out;
}

std::string FormatResultTimeLong(const ResultRecord& r) {
  std::string out;
  appendYear(out, r.when.year);
  out += '/';
  return out + FormatResultTimeShort(r);
}

std::string ResultStatusText(const ResultRecord& r) {
  return r.time == -1 ? PingMoudle::GetStatusCode(r.status) : "ok";
}

ResultRowTexts FormatResultRow(const ResultRecord& r, std::string_view ip) {
  ResultRowTexts t;
  t.first = FormatResultTimeShort(r);
  t.first += "   Reply from ";
  t.first += ip;
  t.second = "bytes=" + std::to_string(r.bufferSize);
  if (r.time == -1) {
    t.second += "  ";
    t.second += ResultStatusText(r);
  } else {
    t.second += r.time == 0 ? "  time<1" : "  time=" + std::to_string(r.time);
    t.second += "ms  TTL=" + std::to_string(r.ttl) + "  ok";
  }
  return t;
}

std::string FormatLastReplyLine(const ResultRecord& r, std::string_view target,
                                std::string_view statusText) {
  std::string line = FormatResultTimeShort(r);
  line += "   Reply from ";
  line += target;
  line += ":  bytes=" + std::to_string(r.bufferSize);
  if (r.time >= 0) {
    line += r.time == 0 ? "  time<1" : "  time=" + std::to_string(r.time);
    line += "ms  TTL=" + std::to_string(r.ttl);
  } else {
    line += "  ";
    line += statusText;
  }
  line.resize(kLastReplyLineWidth, ' ');
  return line;
}

std::string DamagedLinesText(std::int64_t damaged, std::string_view logPath) {
  return std::to_string(damaged) + " of the lines in the log of the previous ping test (" +
         std::string(logPath) +
         ") were damaged and could not be read. Each keeps its row, but what its ping gave is "
         "not known: it counts in none of the figures (sent, lost, times).";
}

std::string ReadLineTrimmed(std::istream& in) {
  std::string line;
  if (!std::getline(in, line)) return {};
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return std::string(trimBlanks(line));
}

std::string FormatLogHeader(std::int32_t targetCount, std::int32_t stepLength) {
  return std::to_string(targetCount) + "," + std::to_string(stepLength);
}

std::string FormatLogLine(const ResultRecord& r, std::string_view ip) {
  std::string line;
  line.reserve(48);
  appendYear(line, r.when.year);
  for (std::uint8_t v : {r.when.month, r.when.day, r.when.hour, r.when.minute, r.when.second}) {
    line += ',';
    appendField2(line, v);
  }
  line += ',';
  line += ip;
  for (std::int64_t v : {std::int64_t{r.bufferSize}, std::int64_t{r.time}, std::int64_t{r.ttl},
                         std::int64_t{r.status}}) {
    line += ',';
    line += std::to_string(v);
  }
  return line;
}

bool ParseLogHeader(std::string_view line, std::int32_t& targetCount, std::int32_t& stepLength) {
  const auto fields = SplitFields(line, ',');
  targetCount = 0;
  stepLength = 1;
  bool ok = parseNumber(fields[0], targetCount) && targetCount >= 0;
  if (!ok) targetCount = 0;
  // No run of this program has more targets; a damaged header must not make
  // the reload pad millions of labels.
  if (targetCount > static_cast<std::int32_t>(kMaxTargets)) {
    targetCount = static_cast<std::int32_t>(kMaxTargets);
    ok = false;
  }
  if (fields.size() < 2 || !parseNumber(fields[1], stepLength)) {
    stepLength = 1;
    ok = false;
  }
  return ok;
}

namespace {

// Plain decimal digits (after a '-' when `sign`) up to the next ',' or the
// end; false for anything else (blanks, '+', no digits, more than
// `maxDigits`), which the full parse then judges.
bool plainNumber(const char*& p, const char* end, bool sign, std::size_t maxDigits,
                 std::int32_t& out) {
  const bool negative = sign && p != end && *p == '-';
  if (negative) ++p;
  std::int32_t v = 0;
  std::size_t digits = 0;
  while (p != end && static_cast<unsigned>(*p - '0') < 10u) {
    // Refused before the digit that could overflow: at most nine fit.
    if (++digits > maxDigits) return false;
    v = v * 10 + (*p++ - '0');
  }
  if (digits == 0) return false;
  out = negative ? -v : v;
  return true;
}

bool comma(const char*& p, const char* end) {
  if (p == end || *p != ',') return false;
  ++p;
  return true;
}

// A line as the program writes it, read in one sweep; false when the line
// is anything else, and the full parse must look at it. What it gives is what
// the full parse gives for such a line.
bool quickLogLine(std::string_view line, RunData& run, ResultRecord& r) {
  // Written straight into `r`: the full parse sets every field again anyway.
  const char* p = line.data();
  const char* const end = p + line.size();
  std::int32_t v = 0;
  if (!plainNumber(p, end, false, 4, v) || !comma(p, end)) return false;
  r.when.year = static_cast<std::uint16_t>(v);
  std::uint8_t* two[] = {&r.when.month, &r.when.day, &r.when.hour, &r.when.minute,
                         &r.when.second};
  for (std::uint8_t* field : two) {
    if (!plainNumber(p, end, false, 2, v) || !comma(p, end)) return false;
    *field = static_cast<std::uint8_t>(v);
  }
  const char* const ipStart = p;
  while (p != end && *p != ',') ++p;
  const std::string_view ip(ipStart, static_cast<std::size_t>(p - ipStart));
  if (ip.empty() || ip.front() == ' ' || ip.back() == ' ' || !comma(p, end)) return false;
  std::int32_t ttl = 0;
  if (!plainNumber(p, end, true, 9, r.bufferSize) || !comma(p, end) ||
      !plainNumber(p, end, true, 9, r.time) || !comma(p, end) ||
      !plainNumber(p, end, true, 5, ttl) || !comma(p, end) ||
      !plainNumber(p, end, true, 9, r.status) || p != end)
    return false;
  if (r.time < -1 || ttl < std::numeric_limits<std::int16_t>::min() ||
      ttl > std::numeric_limits<std::int16_t>::max())
    return false;
  r.ttl = r.time < 0 ? std::int16_t{0} : static_cast<std::int16_t>(ttl);
  r.target = run.internAddress(ip);
  return true;
}

}  // namespace

bool ParseLogLine(std::string_view line, RunData& run, ResultRecord& r) {
  if (quickLogLine(line, run, r)) return true;
  // The fields in place: a reload parses millions of lines, so no line may
  // cost an allocation. Only the first eleven are looked at; n counts them all.
  constexpr size_t kFields = 11;
  std::string_view f[kFields];
  size_t n = 0;
  {
    const char* p = line.data();
    const char* const end = p + line.size();
    while (true) {
      const auto* comma =
          p == end ? nullptr
                   : static_cast<const char*>(std::memchr(p, ',', static_cast<size_t>(end - p)));
      const char* stop = comma ? comma : end;
      if (n < kFields) f[n] = std::string_view(p, static_cast<size_t>(stop - p));
      ++n;
      if (!comma) break;
      p = comma + 1;
    }
  }
  r = ResultRecord{};
  // More than eleven fields is two lines glued together after a failed
  // write, never an address: the program writes dotted addresses.
  bool whole = n == 11;
  // A date field wider than its width is damaged too (a glued line's year).
  auto timeField = [&](size_t i, size_t width, int limit, auto none) {
    using T = decltype(none);
    if (i >= n) return none;
    const T v = parseTimeField<T>(f[i], width, none, limit);
    if (v == none || trimBlanks(f[i]).size() > width) whole = false;
    return v;
  };
  r.when.year = timeField(0, 4, 9999, ResultTime::kNoYear);
  std::uint8_t* two[] = {&r.when.month, &r.when.day, &r.when.hour, &r.when.minute,
                         &r.when.second};
  for (size_t i = 0; i < 5; ++i) *two[i] = timeField(i + 1, 2, 99, ResultTime::kNoField);
  const std::string_view ip = n > 6 ? trimBlanks(f[6]) : std::string_view{};
  if (ip.empty()) whole = false;
  r.target = run.internAddress(ip);
  if (n > 7 && !parseNumber(f[7], r.bufferSize)) {
    r.bufferSize = 0;
    whole = false;
  }
  if (!whole || !parseNumber(f[8], r.time) || !parseNumber(f[9], r.ttl) ||
      !parseNumber(f[10], r.status) || r.time < -1) {
    // What this ping gave is not known: never shown or counted as a reply.
    r.time = -1;
    r.ttl = 0;
    r.status = kDamagedLineStatus;
    return false;
  }
  if (r.time < 0) r.ttl = 0;
  return true;
}

namespace {

// Reads a log in pieces of a fixed size and hands out its lines, so a reload
// holds no more of the file than one piece and one line.
class LogLines {
 public:
  // `lastLineWhole`: the file is written whole, so a last line without its
  // line end is a line like the others (the target file).
  explicit LogLines(std::istream& in, bool lastLineWhole = false)
      : in_(in), piece_(kPieceBytes), lastLineWhole_(lastLineWhole) {}

  // The next line (CR LF or LF end removed, blanks trimmed). False at the end
  // of the file, and for a last line without its line end: a crash cut it
  // short. A line longer than any the program writes comes back damaged.
  bool next(std::string_view& line) {
    carry_.clear();
    bool overlong = false;
    while (true) {
      if (pos_ == len_ && !fill()) {
        if (!lastLineWhole_ || overlong || carry_.empty()) return false;
        std::string_view view = carry_;
        if (view.back() == '\r') view.remove_suffix(1);
        line = trimBlanks(view);
        return true;
      }
      const char* start = piece_.data() + pos_;
      const auto* nl = static_cast<const char*>(std::memchr(start, '\n', len_ - pos_));
      const size_t take = nl ? static_cast<size_t>(nl - start) : len_ - pos_;
      if (!overlong && carry_.size() + take > kLongestLine) {
        overlong = true;
        carry_ = "#";  // damaged: not empty, not a record
      }
      if (!nl && !overlong) {
        carry_.append(start, take);
        pos_ = len_;
        continue;
      }
      pos_ += take;
      if (!nl) continue;
      ++pos_;
      std::string_view view;
      if (overlong) {
        view = carry_;
      } else if (carry_.empty()) {
        view = std::string_view(start, take);
      } else {
        carry_.append(start, take);
        view = carry_;
      }
      if (!view.empty() && view.back() == '\r') view.remove_suffix(1);
      line = trimBlanks(view);
      return true;
    }
  }

  void rewind() {
    in_.clear();
    in_.seekg(0);
    pos_ = len_ = 0;
  }

 private:
  static constexpr size_t kPieceBytes = 1 << 16;
  static constexpr size_t kLongestLine = 4096;

  bool fill() {
    if (!in_) return false;
    in_.read(piece_.data(), static_cast<std::streamsize>(piece_.size()));
    len_ = static_cast<size_t>(in_.gcount());
    pos_ = 0;
    return len_ > 0;
  }

  std::istream& in_;
  std::vector<char> piece_;
  size_t pos_ = 0;
  size_t len_ = 0;
  std::string carry_;
  bool lastLineWhole_;
};

// A string_view as a stream, without copying it.
class ViewBuf : public std::streambuf {
 public:
  explicit ViewBuf(std::string_view v) {
    char* p = const_cast<char*>(v.data());
    setg(p, p, p + v.size());
  }

 protected:
  pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) override {
    char* target = dir == std::ios_base::beg ? eback() + off
                   : dir == std::ios_base::cur ? gptr() + off
                                               : egptr() + off;
    if (target < eback() || target > egptr()) return pos_type(off_type(-1));
    setg(eback(), target, egptr());
    return pos_type(target - eback());
  }
  pos_type seekpos(pos_type pos, std::ios_base::openmode which) override {
    return seekoff(off_type(pos), std::ios_base::beg, which);
  }
};

}  // namespace

bool LoadRunLog(std::istream& log, std::istream* targets, RunData& run,
                const LoadOptions& options) {
  auto cancelled = [&] { return options.cancel && options.cancel->load(std::memory_order_relaxed); };
  // First count the lines up to where the log ends (first empty line, or a
  // last line without its line end), so the lines still to go are known
  // while parsing and the records are sized once.
  LogLines lines(log);
  std::string_view line;
  std::int64_t count = 0;
  while (lines.next(line) && !line.empty()) {
    ++count;
    if (count % kLinesPerProgress == 0 && cancelled()) return false;
  }
  // A header alone is a run without results: nothing to show.
  if (count < 2) return false;

  lines.rewind();
  RunData loaded;
  if (!lines.next(line)) return false;
  ParseLogHeader(line, loaded.targetCount, loaded.stepLength);
  const std::int64_t total = count - 1;
  loaded.records.reserve(static_cast<size_t>(total));
  if (options.recordMemory)
    options.recordMemory(loaded.records.data(), loaded.records.capacity() * sizeof(ResultRecord));
  RunStatistics& stats = loaded.stats;
  for (std::int64_t i = 1; i <= total; ++i) {
    // The file may have changed since it was counted.
    if (!lines.next(line) || line.empty()) break;
    ResultRecord& r = loaded.records.emplace_back();
    if (!ParseLogLine(line, loaded, r)) {
      ++loaded.damagedLines;  // in no figure
    } else {
      // CountResult's sums and extremes; the averages once at the end.
      ++stats.sent;
      if (r.time < 0) {
        ++stats.lost;
      } else {
        stats.timeSum += r.time;
        stats.ttlSum += r.ttl;
        if (r.time > stats.maxTime) stats.maxTime = r.time;
        if (r.time < stats.minTime) stats.minTime = r.time;
      }
    }
    if (i % kLinesPerProgress == 0) {
      if (cancelled()) return false;
      if (options.progress) options.progress(total - i);
    }
  }
  if (loaded.records.empty()) return false;
  if (const std::int64_t received = stats.received(); received > 0) {
    // floor(sum / received + 0.5), as CountResult keeps them.
    stats.avgTime = (2 * stats.timeSum + received) / (2 * received);
    stats.avgTtl = (2 * stats.ttlSum + received) / (2 * received);
  }
  RaiseZeroTimes(loaded.stats);

  if (targets) {
    // One label per target; a missing line gives an empty label.
    LogLines labels(*targets, /*lastLineWhole=*/true);
    while (static_cast<std::int64_t>(loaded.targetLabels.size()) < loaded.targetCount &&
           labels.next(line))
      loaded.targetLabels.emplace_back(line);
    loaded.targetLabels.resize(static_cast<size_t>(loaded.targetCount));
  }
  if (options.progress) options.progress(0);
  run = std::move(loaded);
  return true;
}

bool LoadRunLog(std::string_view log, const std::string_view* targets, RunData& run,
                const LoadOptions& options) {
  ViewBuf logBuf(log);
  std::istream logIn(&logBuf);
  if (!targets) return LoadRunLog(logIn, nullptr, run, options);
  ViewBuf labelBuf(*targets);
  std::istream labelIn(&labelBuf);
  return LoadRunLog(logIn, &labelIn, run, options);
}

SendChoice NextSend(const PingParameters& p, SizeCycle& c, std::int32_t stepLength) {
  auto advance = [&](std::int32_t numberOfSizes) {
    ++c.stepCounter;
    if (c.stepCounter >= stepLength + 1) {
      ++c.index;
      c.stepCounter = 1;
    }
    if (c.index >= numberOfSizes) c.index = 0;
  };
  SendChoice s;
  switch (p.mode) {
    case BufferMode::Incremental:
      advance(std::max(p.numberOfSizes, 1));
      s.size = c.index * p.step + p.startSize;
      s.data.assign(s.size > 0 ? static_cast<size_t>(std::min<std::int64_t>(
                                     s.size, PingMoudle::kReplyRoom + 1))
                               : 0,
                    ' ');
      break;
    case BufferMode::Multiple: {
      const auto n = static_cast<std::int32_t>(std::min(p.sizes.size(), p.sizeData.size()));
      if (n == 0) {
        s.size = p.size;
        s.data = p.sendData;
        break;
      }
      advance(std::min(std::max(p.numberOfSizes, 1), n));
      s.size = p.sizes[static_cast<size_t>(c.index)];
      s.data = p.sizeData[static_cast<size_t>(c.index)];
      break;
    }
    case BufferMode::Single:
      s.size = p.size;
      s.data = p.sendData;
      break;
  }
  return s;
}

std::int32_t StepLengthFor(const PingParameters& p, std::int32_t targetCount) {
  if (p.mode == BufferMode::Single) return 1;
  const std::int64_t len = std::int64_t{p.pingsPerSize} * targetCount;
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(len, 1, std::numeric_limits<std::int32_t>::max()));
}

std::string FormatRunTitle(std::size_t sendDataLength, std::int32_t targetCount) {
  return "Ping testing with " + std::to_string(sendDataLength) +
         " bytes of data:            " + std::to_string(targetCount) + "  IP ";
}

bool PingsDone(const RunStatistics& stats, std::int32_t pingsPerTarget,
               std::int32_t targetCount) {
  return pingsPerTarget > 0 && targetCount > 0 && stats.sent / targetCount >= pingsPerTarget;
}

}  // namespace sondrel
