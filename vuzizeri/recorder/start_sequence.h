#pragma once

#include <cstdint>
#include <optional>

#include "platform/web/script_value.h"

namespace vuz {

inline constexpr double kStartDelaySeconds = 3.0;
// After the three-second wait, the page's web fonts may take this much
// longer to arrive before the top colours are sampled.
inline constexpr double kFontWaitSeconds = 5.0;
inline constexpr double kFontPollSeconds = 0.05;
// A page put at --de's element shows there within this long.
inline constexpr double kStartPictureWait = 0.5;
// What finishing the file may take, at most, of a real-time run's limit.
inline constexpr double kFinishingAllowance = 3.0;
// The page height the height script answered, when it is a usable one: a
// number above zero.
std::optional<double> acceptedHeight(const std::optional<web::ScriptValue>& result);

}  // namespace vuz
