#pragma once
// What the main window tells the three list dialogs before a showing. One
// instance lives in the main window for the whole run; what a showing ended
// with comes back from the dialog itself, as a DialogResult.

#include <string>

#include "core/iplist/ListEntry.h"

namespace sondrel {

// How one showing of a list dialog ended.
struct DialogResult {
  enum class Ending {
    Nothing,  // nothing entered: the editing loop shows the dialog again
    Entered,  // `entry` is to be stored; an empty title takes the loop's default
    Left,     // Exit or the close box
    TestNow,  // `entry` is to be tested at once, not stored
  };
  Ending ending = Ending::Nothing;
  ListEntry entry;

  // Exit or the close box. A test-now already asked for still stands.
  void leave() {
    if (ending != Ending::TestNow) *this = {Ending::Left, {}};
  }
};

struct DialogExchange {
  std::string EditOriginal;  // the list line being edited; "" when adding
  bool EditMode = false;     // the next activation is an edit; cleared on reading
  std::string DialogStatus;  // status line for the next activation, then cleared
  int DialogAnchorLeft = 0;  // main window position in twips when the loop started
  int DialogAnchorTop = 0;

  // Presets for the next group / range dialog, consumed by its activation.
  std::string NewGroupMembers;
  std::string PresetRangeFirst;
  std::string PresetRangeLast;
};

}  // namespace sondrel
