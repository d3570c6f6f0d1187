#pragma once

#include <cstdint>
#include <optional>

namespace vuz {

// pxW × pxH × 60 × 0.07 bits per second, truncated; nothing when the pixel
// count or the rate leaves the signed 64-bit range.
std::optional<int64_t> averageBitRate(int64_t pxW, int64_t pxH);

}  // namespace vuz
