#include "vuzizeri/picture/band.h"

#include <algorithm>

namespace vuz {

void easeBandColours(std::vector<double>& bandCols, const std::vector<uint8_t>& sample,
                     double ease) {
  if (sample.size() != bandCols.size()) {
    bandCols.resize(sample.size());
    for (size_t i = 0; i < sample.size(); ++i) bandCols[i] = sample[i] / 255.0;
    return;
  }
  for (size_t i = 0; i < sample.size(); ++i)
    bandCols[i] = bandCols[i] + (sample[i] / 255.0 - bandCols[i]) * ease;
}

std::vector<uint8_t> mouldPixels(const std::vector<double>& bandCols, int radius,
                                 const std::vector<double>& bandAlphas) {
  const int64_t k = static_cast<int64_t>(bandCols.size() / 3);
  if (k < 1) return {};
  const bool withAlpha = bandAlphas.size() == static_cast<size_t>(k);
  const double taps = 2.0 * radius + 1;
  auto byte = [](double v) { return static_cast<uint8_t>(v < 255 ? (v > 0 ? v : 0) : 255); };
  std::vector<uint8_t> pixels(4 * static_cast<size_t>(k), 255);
  for (int64_t i = 0; i < k; ++i) {
    double sum[4] = {0, 0, 0, 0};
    for (int o = -radius; o <= radius; ++o) {
      int64_t j = std::clamp<int64_t>(i + o, 0, k - 1);
      for (int c = 0; c < 3; ++c) sum[c] += bandCols[3 * j + c];
      if (withAlpha) sum[3] += bandAlphas[j];
    }
    const uint8_t alpha = withAlpha ? byte(sum[3] / taps * 255.0) : 255;
    // RGB in, BGRA out: cairo's byte order; premultiplied, so no colour
    // exceeds the opacity.
    for (int c = 0; c < 3; ++c)
      pixels[4 * i + (2 - c)] = std::min(byte(sum[c] / taps * 255.0), alpha);
    pixels[4 * i + 3] = alpha;
  }
  return pixels;
}

}  // namespace vuz
