#pragma once
// The main window's client-area layout in pixels, shared by the files that
// build its parts.

#include "core/common/Twips.h"
// The files that build the window's parts name their texts with ProgramText.
#include "text/TextBytes.h"

namespace sondrel::main_window {

inline constexpr int kMargin = 8;
inline constexpr int kToolTop = 4;
inline constexpr int kToolSize = 30;
inline constexpr int kTopAreaTop = kToolTop + kToolSize + 6;
inline constexpr int kListWidth = 300;
inline constexpr int kResultsTop = Px(2760);
inline constexpr int kResultsLeft = Px(120);
inline constexpr int kDosLeft = Px(5450);
inline constexpr int kDosTop = Px(2820);
inline constexpr int kButtonHeight = 26;

}  // namespace sondrel::main_window
