#pragma once
// Text helpers that classify, normalise and order IPv4 addresses and the
// stored list lines. Pure functions of their arguments, apart from
// LastCheckedIP, which the group dialog quotes in its error message.

#include <string>
#include <string_view>
#include <vector>

namespace sondrel {

// The value CheckIP gives for a text that is a host name rather than an address.
inline constexpr std::string_view NotAnAddress = "%#@24r5*";

// Blank-free copy of the last text given to CheckIP on this thread.
std::string& LastCheckedIP();

// Canonical dotted address, "" for an invalid address, or NotAnAddress for a
// name. Blanks anywhere are ignored.
std::string CheckIP(std::string_view text);

// Stricter form for range ends: only outer blanks are ignored, exactly three
// dots, no names, 0.0.0.0 allowed. Canonical address or "".
std::string CheckRangeIP(std::string_view text);

// The text before the first "(", trimmed; the text unchanged when it has none.
std::string StripNote(std::string_view text);

// True for a host name no host can have and a shell would not take as one
// word: empty, starting with "-" (an option to the program it is given to),
// or holding a blank, a control character or one of the shell's own
// characters (quotes, ";", "|", "&", "$", "<", ">", "(" and the like).
bool UnsafeHostName(std::string_view name);

// Everything before the last "." found among the last 99 characters; "" when none.
std::string SubnetPrefix(std::string_view address);

// 7 -> "007", 42 -> "042", 255 -> "255".
std::string PadNumber3(int n);

// Key that orders dotted addresses numerically and everything else as text.
// A text of digits and dots that is not four numbers is keyed as a name.
std::string IPSortKey(std::string_view text);

// Ascending by IPSortKey, in place, with the result of the classic exchange
// sort (also where distinct texts share a key). Repeated texts cost no more
// than distinct ones; only different texts under one key take that sort's
// own, quadratic, way.
void SortEntries(std::vector<std::string>& entries);

// The fields between separators; n separators give n + 1 fields.
std::vector<std::string_view> SplitFields(std::string_view text, char separator);

// Blank (U+0020) trimming as the list files use it; tabs are kept.
std::string TrimBlanks(std::string_view text);

}  // namespace sondrel
