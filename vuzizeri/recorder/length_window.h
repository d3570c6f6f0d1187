#pragma once

#include <algorithm>

#include "vuzizeri/scroll/scroll_timing.h"
#include "vuzizeri/target/targets.h"

namespace vuz {

// Where a target's video is aimed: half a second inside its window at either
// end, as uploads round lengths, unless the window is too narrow for that.
inline constexpr double kLengthMargin = 0.5;
inline LengthWindow lengthWindow(const Target& target) {
  const double margin =
      std::min(kLengthMargin, (target.longestSeconds - target.shortestSeconds) / 4);
  return {target.shortestSeconds + margin, target.longestSeconds - margin};
}

// --duracao's: the frame nearest the length asked.
inline LengthWindow lengthWindow(double seconds, int fps) {
  return {seconds - 0.5 / fps, seconds + 0.5 / fps};
}

}  // namespace vuz
