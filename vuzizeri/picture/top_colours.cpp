#include "vuzizeri/picture/top_colours.h"

#include <algorithm>

namespace vuz {

namespace {

uint8_t median(uint8_t a, uint8_t b, uint8_t d) {
  return std::max(std::min(a, b), std::min(std::max(a, b), d));
}

// The median of the image's top three rows (as many as it has) at each byte
// of a pixel row.
std::vector<uint8_t> topMedians(const graphics::Image& image) {
  const int height = image.height();
  std::vector<uint8_t> medians(4 * static_cast<size_t>(image.width()));
  const uint8_t* row0 = image.row(0);
  const uint8_t* row1 = height >= 2 ? image.row(1) : row0;
  const uint8_t* row2 = height >= 3 ? image.row(2) : row1;
  for (size_t i = 0; i < medians.size(); ++i) medians[i] = median(row0[i], row1[i], row2[i]);
  return medians;
}

}  // namespace

std::optional<std::vector<uint8_t>> coresDoTopo(const graphics::Image& image) {
  if (image.height() < 1) return std::nullopt;
  const std::vector<uint8_t> bgra = topMedians(image);
  std::vector<uint8_t> colours(3 * static_cast<size_t>(image.width()));
  // The image is BGRA in memory; the result is RGB.
  for (size_t x = 0; x < colours.size() / 3; ++x)
    for (int c = 0; c < 3; ++c) colours[3 * x + c] = bgra[4 * x + (2 - c)];
  return colours;
}

std::vector<uint8_t> topAlphas(const graphics::Image& image) {
  if (image.height() < 1) return {};
  const std::vector<uint8_t> bgra = topMedians(image);
  std::vector<uint8_t> alphas(static_cast<size_t>(image.width()));
  for (size_t x = 0; x < alphas.size(); ++x) alphas[x] = bgra[4 * x + 3];
  return alphas;
}

}  // namespace vuz
