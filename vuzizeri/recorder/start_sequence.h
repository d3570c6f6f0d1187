#pragma once

#include <cstdint>
#include <optional>

#include "platform/web/script_value.h"

namespace vuz {

inline constexpr double kStartDelaySeconds = 3.0;
inline constexpr double kMinimumSpeed = 250.0;  // CSS px/s
inline constexpr double kScrollTimeCap = 60.0;  // seconds
// After the three-second wait, the page's web fonts may take this much
// longer to arrive before the top colours are sampled.
inline constexpr double kFontWaitSeconds = 5.0;
inline constexpr double kFontPollSeconds = 0.05;
// A page put at --de's element shows there within this long.
inline constexpr double kStartPictureWait = 0.5;
// What finishing the file may take, at most, of a real-time run's limit.
inline constexpr double kFinishingAllowance = 3.0;
// The longest video a directed scroll may make: a plan of hours or days is
// never what was meant (a speed of 0.001 px/s, a hold of 10⁶ s).
inline constexpr double kMaxVideoSeconds = 600;

// The page height the height script answered, when it is a usable one: a
// number above zero.
std::optional<double> acceptedHeight(const std::optional<web::ScriptValue>& result);

// At least 250 CSS px/s, faster when the scroll would otherwise pass 60 s.
double scrollSpeed(double pageHeight, int64_t contentH);

}  // namespace vuz
