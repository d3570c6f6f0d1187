#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/graphics/image.h"

namespace vuz {

// Red, green and blue of every pixel column, left to right: per channel the
// median of the image's top three rows, so a one-pixel line along the top
// edge does not count. Colours are premultiplied, so a transparent pixel
// counts as black. Nothing when the image has no pixels to read.
std::optional<std::vector<uint8_t>> coresDoTopo(const graphics::Image& image);

// The alpha of every pixel column, as coresDoTopo() takes the colours.
std::vector<uint8_t> topAlphas(const graphics::Image& image);

}  // namespace vuz
