#pragma once

#include <optional>

#include "platform/web/script_value.h"

namespace vuz {

inline constexpr double kCaptureInterval = 1.0 / 60.0;
inline constexpr double kImmediateThreshold = 0.001;
inline constexpr int kEndReadings = 61;

// Whether the position script's answer puts the page at its end: an array of
// numbers [y, m] with y ≥ m − 2 (y 0 when missing, m 1 when missing), or
// anything that is not an array of numbers at all.
bool atEnd(const std::optional<web::ScriptValue>& answer);

// How long to wait before the next iteration, which may start one capture
// interval after this one started.
double remainingWait(double iterationStart, double now);

}  // namespace vuz
