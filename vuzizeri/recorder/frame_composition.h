#pragma once

#include <cstdint>
#include <vector>

namespace vuz {

inline constexpr int32_t kTimescale = 600;

// Moves every band colour `ease` of the way towards the new sample (bytes),
// or takes the sample as it is when its size differs from the band's.
void easeBandColours(std::vector<double>& bandCols, const std::vector<uint8_t>& sample,
                     double ease);

// The band's source picture: one opaque pixel per column (k = size / 3), each
// the nine-tap box blur (radius `radius`, edges clamped) of the band colours,
// as BGRA bytes. Empty when there are fewer than three values. With
// `bandAlphas` (one per column) the pixels take their blurred opacity, the
// colours being premultiplied already.
std::vector<uint8_t> mouldPixels(const std::vector<double>& bandCols, int radius,
                                 const std::vector<double>& bandAlphas = {});

// At least a millisecond after the previous frame, else the clock's time.
double nextPresentationTime(double lastPTS, double elapsed);

}  // namespace vuz
