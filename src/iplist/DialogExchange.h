#pragma once
// The values the main window and the three list dialogs hand each other. One
// instance lives in the main window for the whole run; the dialogs read and
// write it, the editing loops and the target collection consume it.

#include <string>
#include <string_view>

namespace sondrel {

// DialogValue when the user left the dialog (Exit, close box, test-now button).
inline constexpr std::string_view DialogLeftValue = "-";

struct DialogExchange {
  // What the dialog returns: single "target"; group "m1,m2,..."; range
  // "first,last"; DialogLeftValue when left; "" to be shown again.
  std::string DialogValue;
  std::string DialogTitle;   // group or range title as entered
  std::string EditOriginal;  // the list line being edited; "" when adding
  bool EditMode = false;     // the next activation is an edit; cleared on reading
  std::string DialogStatus;  // status line for the next activation, then cleared
  int DialogAnchorLeft = 0;  // main window position in twips when the loop started
  int DialogAnchorTop = 0;

  // Test-now entries, cleared by the target collection that uses them.
  std::string PendingSingle;  // a single target text
  std::string PendingGroup;   // a whole "B" line
  std::string PendingRange;   // a whole "C" line

  // Presets for the next group / range dialog, consumed by its activation.
  std::string NewGroupMembers;
  std::string PresetRangeFirst;
  std::string PresetRangeLast;
};

}  // namespace sondrel
