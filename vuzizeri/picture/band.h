#pragma once

#include <cstdint>
#include <vector>

// The band over the page: the page's top colours, eased from frame to frame
// and blurred sideways.
namespace vuz {

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

}  // namespace vuz
