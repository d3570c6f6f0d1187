#pragma once

#include <optional>

#include "platform/web/script_value.h"

namespace vuz {

inline constexpr double kImmediateThreshold = 0.001;
// How long before the earliest start a picture may have come and still start
// the iteration then.
inline constexpr double kEarlyPictureSeconds = 0.003;

// Whether the position script's answer puts the page at its end: an array of
// numbers [y, m] with y ≥ m − 2 (y 0 when missing, m 1 when missing), or
// anything that is not an array of numbers at all.
bool atEnd(const std::optional<web::ScriptValue>& answer);

// When the iteration after one that started at `iterationStart` may start:
// from `earliest` (one capture interval later, less the millisecond that is
// never waited for) at a new picture of the view, or at `latest`, one
// interval after that, if none has come. Starting at pictures gives every
// frame the same age, where a free-running clock drifts against them.
struct NextStart {
  double earliest = 0;
  double latest = 0;
};
NextStart nextStart(double iterationStart, double interval);

}  // namespace vuz
