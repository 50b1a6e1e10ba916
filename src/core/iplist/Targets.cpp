#include "core/iplist/Targets.h"

#include <algorithm>
#include <charconv>
#include <unordered_set>

#include "core/common/AddressHelpers.h"
#include "core/iplist/ListEntry.h"

namespace sondrel {
namespace {

bool full(const RunTargetState& state) {
  return state.TargetAddresses.size() >= kMaxTargets;
}

void append(RunTargetState& state, std::string address, std::string label) {
  if (full(state)) {
    state.Truncated = true;
    return;
  }
  state.TargetAddresses.push_back(std::move(address));
  state.TargetLabels.push_back(std::move(label));
}

void countUnresolved(RunTargetState& state, std::string_view text) {
  ++state.UnresolvedCount;
  state.UnresolvedText += "\r\n       ";
  state.UnresolvedText += text;
}

void checkLong(RunTargetState& state) {
  if (!state.TargetAddresses.empty() && state.TargetAddresses.back().size() > 13)
    state.LongAddressFlag = true;
}

bool fourOctets(std::string_view text, int (&out)[4]) {
  std::string s = TrimBlanks(text);
  const char* p = s.data();
  const char* end = s.data() + s.size();
  for (int k = 0; k < 4; ++k) {
    auto [next, ec] = std::from_chars(p, end, out[k]);
    if (ec != std::errc() || out[k] < 0 || out[k] > 255) return false;
    p = next;
    if (k < 3) {
      if (p == end || *p != '.') return false;
      ++p;
    }
  }
  return p == end;
}

// Resolution of a single entry or member that fails is counted and listed.
void resolveCounted(RunTargetState& state, std::string_view text, const NameResolver& resolve) {
  if (ResolveTarget(state, text, resolve).empty() && !full(state))
    countUnresolved(state, text);
  else
    checkLong(state);
}

}  // namespace

std::string ResolveTarget(RunTargetState& state, std::string_view text,
                          const NameResolver& resolve) {
  std::string target = StripNote(text);
  const std::string checked = CheckIP(target);
  if (checked == NotAnAddress) {
    std::string address = resolve ? resolve(target) : std::string();
    if (address.empty()) return {};
    if (full(state)) {
      state.Truncated = true;
      return {};
    }
    append(state, address, target + " / " + address);
    return address;
  }
  if (full(state)) {
    state.Truncated = true;
    return {};
  }
  // A valid address is pinged in its canonical form: as typed, a member with
  // a blank is refused by the echo and a leading zero would be read as octal
  // (010.0.0.1 is 8.0.0.1 there). Anything malformed goes on unchanged, so
  // that the echo reports it.
  if (!checked.empty()) target = checked;
  append(state, target, target);
  return target;
}

void ExpandRange(RunTargetState& state, std::string_view first, std::string_view last) {
  int a[4];
  int b[4];
  if (!fourOctets(first, a) || !fourOctets(last, b)) return;
  int step[4];
  for (int k = 0; k < 4; ++k) step[k] = a[k] > b[k] ? -1 : 1;

  // Room for the whole box (bounded by the cap) at once; growing at least
  // geometrically keeps many small ranges in a row from copying every time.
  std::size_t boxSize = 1;
  for (int k = 0; k < 4; ++k) boxSize *= static_cast<std::size_t>(std::abs(b[k] - a[k]) + 1);
  const std::size_t room = kMaxTargets - std::min(kMaxTargets, state.TargetAddresses.size());
  const std::size_t needed = state.TargetAddresses.size() + std::min(boxSize, room);
  for (auto* v : {&state.TargetAddresses, &state.TargetLabels})
    if (needed > v->capacity()) v->reserve(std::max(needed, 2 * v->capacity()));

  char buf[16];
  for (int i0 = a[0];; i0 += step[0]) {
    for (int i1 = a[1];; i1 += step[1]) {
      for (int i2 = a[2];; i2 += step[2]) {
        for (int i3 = a[3];; i3 += step[3]) {
          if (full(state)) {
            state.Truncated = true;
            return;
          }
          char* p = buf;
          for (int v : {i0, i1, i2, i3}) {
            p = std::to_chars(p, buf + sizeof buf, v).ptr;
            *p++ = '.';
          }
          std::string address(buf, p - 1);
          if (address.size() > 13) state.LongAddressFlag = true;
          state.TargetLabels.push_back(address);
          state.TargetAddresses.push_back(std::move(address));
          if (i3 == b[3]) break;
        }
        if (i2 == b[2]) break;
      }
      if (i1 == b[1]) break;
    }
    if (i0 == b[0]) break;
  }
}

void ExpandEntry(RunTargetState& state, std::string_view line, const NameResolver& resolve) {
  if (line.empty()) return;
  // The body is read trimmed: a test-now line may carry blanks the file would not.
  const ListEntry entry =
      parseListEntry(std::string(line.substr(0, 1)) + TrimBlanks(line.substr(1)));
  if (entry.kind == ListEntryKind::Single) {
    resolveCounted(state, entry.title, resolve);
  } else if (entry.kind == ListEntryKind::Group || entry.kind == ListEntryKind::Range) {
    // The entry's targets, noted under its title (alert rules name groups).
    const std::size_t first = state.TargetAddresses.size();
    if (entry.kind == ListEntryKind::Group)
      for (const std::string& member : entry.members) resolveCounted(state, member, resolve);
    else if (entry.members.size() >= 2)
      ExpandRange(state, entry.first(), entry.last());
    if (state.TargetAddresses.size() > first && !entry.title.empty())
      state.TargetGroups.push_back({first, state.TargetAddresses.size() - first, entry.title});
  }
}

CollectResult CollectTargets(const CollectRequest& r, const NameResolver& resolve) {
  CollectResult result;
  RunTargetState& s = result.targets;

  if (r.purpose == CollectPurpose::Scan) {
    if (!r.PendingRange.empty()) {
      ExpandEntry(s, r.PendingRange, resolve);
      return result;
    }
  } else {
    if (!r.PendingSingle.empty()) {
      resolveCounted(s, r.PendingSingle, resolve);
      return result;
    }
    if (!r.PendingGroup.empty()) {
      ExpandEntry(s, r.PendingGroup, resolve);
      return result;
    }
  }

  // Highlighted entries are the targets whatever the target box shows (it may
  // hold the "Selected N Items" summary); the box is the target only when
  // nothing is highlighted and there is no current entry.
  const bool anyHighlighted = std::any_of(r.selected.begin(), r.selected.end(), [&](int i) {
    return i >= 0 && static_cast<size_t>(i) < r.entries.size();
  });
  if (r.currentIndex < 0 && !anyHighlighted) {
    // An empty box names no host; looking it up would only report a blank.
    if (TrimBlanks(r.textPing).empty())
      result.nothingToTest = true;
    else
      resolveCounted(s, r.textPing, resolve);
    return result;
  }

  std::vector<int> selected = r.selected;
  std::sort(selected.begin(), selected.end());
  selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
  bool anySelected = false;
  for (int i : selected) {
    if (i < 0 || static_cast<size_t>(i) >= r.entries.size()) continue;
    anySelected = true;
    ExpandEntry(s, r.entries[i], resolve);
  }
  if (!anySelected && s.TargetCount() == 0) {
    if (r.currentText.empty() || static_cast<size_t>(r.currentIndex) >= r.entries.size()) {
      result.nothingToTest = true;
      return result;
    }
    result.markCurrentSelected = true;
    ExpandEntry(s, r.entries[r.currentIndex], resolve);
  }
  return result;
}

std::vector<std::string> NamesToResolve(const CollectRequest& request) {
  std::vector<std::string> names;
  std::unordered_set<std::string> seen;
  // Runs the collection with a resolver that only records, so the names come
  // out in exactly the order the real collection asks for them.
  CollectTargets(request, [&](const std::string& name) {
    if (seen.insert(name).second) names.push_back(name);
    return std::string();
  });
  return names;
}

std::string UnresolvedReportText(const RunTargetState& state) {
  if (state.UnresolvedCount <= 0) return {};
  std::string list = state.UnresolvedText;
  if (state.UnresolvedCount > 9) list = list.substr(0, 20) + "  ........";
  return "Cannot find the IP address for the following " + std::to_string(state.UnresolvedCount) +
         " host:" + "\r\n" + list;
}

std::string TruncationReportText(const RunTargetState& state) {
  if (!state.Truncated) return {};
  const std::string cap = std::to_string(kMaxTargets);
  return "The selection holds more than " + cap + " addresses; only the first " + cap +
         " are used.";
}

}  // namespace sondrel
