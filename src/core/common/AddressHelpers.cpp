#include "core/common/AddressHelpers.h"

#include <algorithm>
#include <numeric>

namespace sondrel {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Value of a field of digits, saturated so that long fields stay "too large".
long fieldValue(std::string_view field) {
  long v = 0;
  for (char c : field) {
    if (!isDigit(c)) return -1;
    v = v * 10 + (c - '0');
    if (v > 1'000'000) return 1'000'000;
  }
  return v;
}

// Steps shared by both checkers: four non-empty fields of 0..255, written
// canonically; "" otherwise.
std::string canonicalFour(std::string_view text) {
  auto fields = SplitFields(text, '.');
  if (fields.size() != 4) return {};
  std::string out;
  for (size_t i = 0; i < 4; ++i) {
    if (fields[i].empty()) return {};
    long v = fieldValue(fields[i]);
    if (v < 0 || v > 255) return {};
    if (i) out += '.';
    out += std::to_string(v);
  }
  return out;
}

}  // namespace

std::vector<std::string_view> SplitFields(std::string_view text, char separator) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  while (true) {
    size_t at = text.find(separator, start);
    if (at == std::string_view::npos) {
      fields.push_back(text.substr(start));
      return fields;
    }
    fields.push_back(text.substr(start, at - start));
    start = at + 1;
  }
}

std::string& LastCheckedIP() {
  thread_local std::string last;
  return last;
}

std::string TrimBlanks(std::string_view text) {
  size_t b = text.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  size_t e = text.find_last_not_of(' ');
  return std::string(text.substr(b, e - b + 1));
}

std::string CheckIP(std::string_view text) {
  std::string s;
  s.reserve(text.size());
  for (char c : text)
    if (c != ' ') s += c;
  LastCheckedIP() = s;

  if (std::count(s.begin(), s.end(), '.') < 2) return std::string(NotAnAddress);
  if (!std::all_of(s.begin(), s.end(), [](char c) { return isDigit(c) || c == '.'; }))
    return std::string(NotAnAddress);
  auto fields = SplitFields(s, '.');
  if (fields.size() != 4) return {};
  if (std::all_of(fields.begin(), fields.end(),
                  [](std::string_view f) { return fieldValue(f) == 0; }))
    return {};
  return canonicalFour(s);
}

std::string CheckRangeIP(std::string_view text) {
  std::string s = TrimBlanks(text);
  if (std::count(s.begin(), s.end(), '.') != 3) return {};
  if (!std::all_of(s.begin(), s.end(), [](char c) { return isDigit(c) || c == '.'; }))
    return {};
  return canonicalFour(s);
}

std::string StripNote(std::string_view text) {
  size_t p = text.find('(');
  if (p == std::string_view::npos) return std::string(text);
  return TrimBlanks(text.substr(0, p));
}

bool UnsafeHostName(std::string_view name) {
  constexpr std::string_view kShell = "|&;<>()$`\\\"'*?[]#~=%!{}^";
  if (name.empty() || name.front() == '-') return true;
  return std::any_of(name.begin(), name.end(), [&](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= 0x20 || u == 0x7F || kShell.find(c) != std::string_view::npos;
  });
}

std::string SubnetPrefix(std::string_view address) {
  const size_t n = address.size();
  for (size_t back = 1; back <= 99 && back <= n; ++back) {
    if (address[n - back] == '.') return std::string(address.substr(0, n - back));
  }
  return {};
}

std::string PadNumber3(int n) {
  if (n < 10) return "00" + std::to_string(n);
  if (n < 100) return "0" + std::to_string(n);
  return std::to_string(n);
}

std::string IPSortKey(std::string_view text) {
  // Classify without disturbing LastCheckedIP, which belongs to the dialogs.
  std::string saved = LastCheckedIP();
  const bool isName = CheckIP(text) == NotAnAddress;
  LastCheckedIP() = std::move(saved);
  if (isName) return std::string(text);

  auto fields = SplitFields(text, '.');
  if (fields.size() < 4) return std::string(text);
  std::string key;
  for (size_t i = 0; i < 4; ++i) {
    std::string f = TrimBlanks(fields[i]);
    if (f.empty()) return std::string(text);
    long v = fieldValue(f);
    if (v < 0 || v >= 1'000'000) return std::string(text);
    key += PadNumber3(static_cast<int>(v));
  }
  return key;
}

void SortEntries(std::vector<std::string>& entries) {
  const size_t n = entries.size();
  if (n < 2) return;
  std::vector<std::string> keys;
  keys.reserve(n);
  for (const auto& e : entries) keys.push_back(IPSortKey(e));

  std::vector<size_t> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return keys[a] < keys[b]; });
  // Entries that share a key with the same text are interchangeable, so any
  // order among them is the exchange sort's order. Only different texts under
  // one key (such as 1.2.3.4 and 001.002.003.004) need that sort's own moves.
  bool sharedByDifferentTexts = false;
  for (size_t i = 1; i < n && !sharedByDifferentTexts; ++i)
    sharedByDifferentTexts =
        keys[order[i - 1]] == keys[order[i]] && entries[order[i - 1]] != entries[order[i]];

  if (!sharedByDifferentTexts) {
    std::vector<std::string> sorted;
    sorted.reserve(n);
    for (size_t i : order) sorted.push_back(std::move(entries[i]));
    entries = std::move(sorted);
    return;
  }
  // The exchange sort itself, on the keys' ranks so that each step compares
  // two numbers rather than two texts.
  std::vector<size_t> rank(n);
  for (size_t i = 0, r = 0; i < n; ++i) {
    if (i > 0 && keys[order[i - 1]] != keys[order[i]]) ++r;
    rank[order[i]] = r;
  }
  std::vector<size_t> at(n);
  std::iota(at.begin(), at.end(), 0);
  for (size_t i = 0; i < n; ++i)
    for (size_t j = i + 1; j < n; ++j)
      if (rank[i] > rank[j]) {
        std::swap(rank[i], rank[j]);
        std::swap(at[i], at[j]);
      }
  std::vector<std::string> sorted;
  sorted.reserve(n);
  for (size_t i : at) sorted.push_back(std::move(entries[i]));
  entries = std::move(sorted);
}

}  // namespace sondrel
