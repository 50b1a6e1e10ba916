#pragma once
// Turning a selection of list entries, a typed target or a test-now entry
// into the flat list of addresses a ping run or a scan works through.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/common/TargetGroup.h"

namespace sondrel {

// One collection of a run can hold at most this many targets; a range beyond
// it is cut there (a whole /16 still fits).
inline constexpr std::size_t kMaxTargets = 65536;

struct RunTargetState {
  std::vector<std::string> TargetAddresses;
  std::vector<std::string> TargetLabels;
  bool LongAddressFlag = false;
  std::string UnresolvedText;
  std::int32_t UnresolvedCount = 0;
  bool Truncated = false;  // kMaxTargets was reached and later targets left out
  std::vector<TargetGroup> TargetGroups;  // the targets of each group or range entry

  std::size_t TargetCount() const { return TargetAddresses.size(); }
};

// Name to first IPv4 address, "" when unknown.
using NameResolver = std::function<std::string(const std::string&)>;

// Appends one target: an address (canonical when valid, else as written), or
// a name as its address with the label "name / address". The address, or ""
// when a name is unknown.
std::string ResolveTarget(RunTargetState& state, std::string_view text,
                          const NameResolver& resolve);

// Appends every target of one list line.
void ExpandEntry(RunTargetState& state, std::string_view line, const NameResolver& resolve);

// Appends every address of the box of octet intervals from first to last,
// each octet walked upwards or downwards towards its end.
void ExpandRange(RunTargetState& state, std::string_view first, std::string_view last);

enum class CollectPurpose { PingTest, Scan };

struct CollectRequest {
  CollectPurpose purpose = CollectPurpose::PingTest;
  std::string PendingSingle;
  std::string PendingGroup;
  std::string PendingRange;
  int currentIndex = -1;            // ListIP's current item, -1 for none
  std::string currentText;          // its text
  std::string textPing;             // the target box
  std::vector<int> selected;        // selected items (taken in ascending order)
  std::vector<std::string> entries; // IPEntries
};

struct CollectResult {
  RunTargetState targets;
  bool nothingToTest = false;        // nothing selected, typed (blanks only) or current
  bool markCurrentSelected = false;  // the current item was taken: show it selected
};

// The whole collection, in the order a one-at-a-time resolution gives.
CollectResult CollectTargets(const CollectRequest& request, const NameResolver& resolve);

// The names CollectTargets would resolve, in order, duplicates kept once.
std::vector<std::string> NamesToResolve(const CollectRequest& request);

// "" when everything resolved, else the message listing the failures.
std::string UnresolvedReportText(const RunTargetState& state);

// "" unless targets were left out at kMaxTargets, else the note saying so.
std::string TruncationReportText(const RunTargetState& state);

}  // namespace sondrel
