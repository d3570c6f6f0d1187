#pragma once

namespace vuz {

// A phone screen's shape, in points: its corners' radius, and what cuts into
// its top (a notch, or the Dynamic Island floating below the edge).
struct ScreenShape {
  double cornerRadius = 0;
  enum class Cutout { kNone, kNotch, kIsland } cutout = Cutout::kNone;
  double cutoutWidth = 0, cutoutHeight = 0, cutoutTop = 0;
};

}  // namespace vuz
