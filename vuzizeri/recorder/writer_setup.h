#pragma once

#include <cstdint>
#include <optional>

namespace vuz {

// pxW × pxH × fps × 0.07 bits per second, truncated: the same bits a frame
// at any rate. Nothing when the pixel count or the rate leaves the signed
// 64-bit range.
std::optional<int64_t> averageBitRate(int64_t pxW, int64_t pxH, int fps = 60);

}  // namespace vuz
