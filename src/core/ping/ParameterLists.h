#pragma once
// The test-parameter lists of the main window as plain data: their fixed
// items, how a typed or chosen text becomes a parameter value, and the texts
// that say why a value was refused. The window only shows the lists and the
// messages; every rule lives here.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ping/PingParameters.h"

namespace sondrel {

// Validation texts, shown with the critical icon. The seven trailing blanks
// belong to the texts.
inline constexpr std::string_view kInvalidTimeOut = "Inalid Time Out Value.       ";
inline constexpr std::string_view kInvalidInterval = "Inalid Test Interval.       ";
inline constexpr std::string_view kInvalidBufferSize = "Inalid Buffer Size Value.       ";
inline constexpr std::string_view kInvalidTimes = "Inalid Test Times.       ";
// A size the reply room cannot hold.
inline constexpr std::string_view kBufferSizeTooLarge =
    "Inalid Buffer Size Value. The largest buffer size is 32000 Bytes.       ";

// Fall-backs of refused values.
inline constexpr std::int32_t kDefaultTimeOutMs = 500;
inline constexpr std::int32_t kDefaultIntervalMs = 600;
inline constexpr std::int32_t kDefaultBufferSize = 32;
inline constexpr std::int32_t kDefaultTimes = 0;  // until stopped

// The reply room holds this many data bytes; larger sizes are refused.
inline constexpr std::int32_t kMaxBufferSize = 32000;

// Fixed items that choose something other than a number.
inline constexpr std::string_view kAdvancedItem = "Advanced";
inline constexpr std::string_view kMultipleSizesItem = "16,32,64,1024  Bytes";
inline constexpr std::string_view kStepUpItem = "Step up with 32 Bytes";
inline constexpr std::string_view kContinuallyItem = "Continually";
// Pings per target that "Step up with 32 Bytes" puts into the times list.
inline constexpr std::string_view kStepUpTimes = "1000";

// The four lists, in list order: interval 79 items, time-out 27, buffer
// size 16, number of pings 19.
std::vector<std::string> IntervalItems();
std::vector<std::string> TimeOutItems();
std::vector<std::string> BufferSizeItems();
std::vector<std::string> TimesItems();

// Items selected at start-up. The time-out list shows the 500 ms that pings
// use until the user chooses another.
inline constexpr int kIntervalStartItem = 14;  // "600  Milliseconds"
inline constexpr int kTimeOutStartItem = 13;   // "500  Milliseconds"
inline constexpr int kBufferSizeStartItem = 2;  // "32  Bytes"
inline constexpr int kTimesStartItem = 0;       // "Continually"

// The number a text begins with, after leading blanks: digits with an
// optional fraction. No sign. Nothing when the text does not begin with one.
std::optional<double> LeadingNumber(std::string_view text);

// A parsed list value: the value to use, and when the text was refused, the
// message to show (the value is then the fall-back).
struct ParsedValue {
  std::int32_t value = 0;
  std::string message;  // empty when accepted
  bool ok() const { return message.empty(); }
};

ParsedValue ParseTimeOut(std::string_view text);   // ms; fall-back 500
ParsedValue ParseInterval(std::string_view text);  // ms; fall-back 600
ParsedValue ParseTimes(std::string_view text);     // pings per target; "Continually" 0

// An interval that moves by step (negative: shorter) from start towards limit
// after each pass, then stays at limit.
struct AdvancedInterval {
  std::int32_t start = 0;
  std::int32_t step = 0;
  std::int32_t limit = 0;
  friend bool operator==(const AdvancedInterval&, const AdvancedInterval&) = default;
};

// "100 to 1000, 100++" (rising) or "1000 to 100, 100--" (falling).
std::string AdvancedIntervalText(const AdvancedInterval& a);
// The inverse of AdvancedIntervalText for a typed or chosen list text;
// nothing when the text is not of that form or its values are refused.
std::optional<AdvancedInterval> ParseAdvancedIntervalText(std::string_view text);
// Empty when the values make a usable interval; otherwise the message.
std::string ValidateAdvancedInterval(const AdvancedInterval& a);

// A buffer setting: one size, a step-up cycle, or a list of sizes.
struct BufferSetting {
  BufferMode mode = BufferMode::Single;
  std::int32_t size = kDefaultBufferSize;  // Single
  std::int32_t startSize = 32;             // Incremental
  std::int32_t step = 32;                  // Incremental
  std::vector<std::int32_t> sizes;         // Multiple
  std::int32_t numberOfSizes = 1;
  std::int32_t pingsPerSize = 1;
  friend bool operator==(const BufferSetting&, const BufferSetting&) = default;
};

struct ParsedBuffer {
  BufferSetting setting;
  std::string message;          // empty when accepted
  bool setsTimesToStepUp = false;  // the times list must show kStepUpTimes
  bool ok() const { return message.empty(); }
};

// The buffer list's text: the two cycling items (exact text), or a size with
// " Bytes" or without. A refused size gives the 32-byte setting and a message.
ParsedBuffer ParseBufferSize(std::string_view text);

// Empty when the advanced buffer setting is usable (sizes 1 to 32000, counts
// at least 1); otherwise the message.
std::string ValidateBufferSetting(const BufferSetting& s);

// A list of sizes typed as "16,32,64,1024" (blanks allowed around numbers).
// Nothing when an entry is not a whole number.
std::optional<std::vector<std::int32_t>> ParseSizeList(std::string_view text);

// Writes the setting into the parameters: mode, sizes, data texts of blanks,
// and for a single size the current send data and size. Counts the change,
// so a run going restarts its size cycle.
void ApplyBufferSetting(const BufferSetting& s, PingParameters& p);

// The buffer list's text for an advanced setting: "32 to 320, 32++  Bytes,
// 2 pings each" for a step-up cycle, "16,32,64  Bytes, 4 pings each" for a
// list, "200  Bytes" for one size.
std::string AdvancedBufferText(const BufferSetting& s);

// A whole number filling the trimmed text, optionally signed; nothing
// otherwise or when it does not fit 32 bits.
std::optional<std::int32_t> ParseWholeNumber(std::string_view text);

// The first size a setting sends.
std::int32_t FirstSize(const BufferSetting& s);

}  // namespace sondrel
