#pragma once
// Positions and sizes of the windows are given in twips: 15 to a pixel at 96 dpi.

namespace sondrel {

inline constexpr int kTwipsPerPixel = 15;

// Twips to the nearest whole pixel.
constexpr int Px(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }

}  // namespace sondrel
