#include "platform/media/pixel_convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

// BT.709 in floating point, normalised to 0..1 luma and -0.5..0.5 chroma.
struct Ycc {
  double y, cb, cr;
};
Ycc bt709(double r, double g, double b) {
  double y = 0.2126 * r + 0.7152 * g + 0.0722 * b;
  return {y, (b - y) / 1.8556, (r - y) / 1.5748};
}

std::vector<uint8_t> randomBgra(int height, ptrdiff_t stride, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(stride * height);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

TEST(PixelConvert, BgraTo420pAveragesChromaOverEach2x2Block) {
  const int width = 38, height = 4;
  const ptrdiff_t stride = 64 * 3;
  std::vector<uint8_t> bgra = randomBgra(height, stride, 2);
  std::vector<uint8_t> y(width * height), cb(width / 2 * height / 2), cr(width / 2 * height / 2);
  media::bgraToYuv420p(bgra.data(), stride, width, height,
                       {y.data(), cb.data(), cr.data(), width, width / 2, width / 2});
  for (int row = 0; row < height; ++row) {
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = &bgra[row * stride + x * 4];
      Ycc e = bt709(p[2] / 255.0, p[1] / 255.0, p[0] / 255.0);
      EXPECT_NEAR(y[row * width + x], 16 + 219 * e.y, 0.51) << x << "," << row;
    }
  }
  for (int row = 0; row < height / 2; ++row) {
    for (int x = 0; x < width / 2; ++x) {
      double r = 0, g = 0, b = 0;
      for (int dy = 0; dy < 2; ++dy) {
        for (int dx = 0; dx < 2; ++dx) {
          const uint8_t* p = &bgra[(2 * row + dy) * stride + (2 * x + dx) * 4];
          b += p[0] / 1020.0;
          g += p[1] / 1020.0;
          r += p[2] / 1020.0;
        }
      }
      Ycc e = bt709(r, g, b);
      EXPECT_NEAR(cb[row * width / 2 + x], 128 + 224 * e.cb, 0.51) << x << "," << row;
      EXPECT_NEAR(cr[row * width / 2 + x], 128 + 224 * e.cr, 0.51) << x << "," << row;
    }
  }
}

}  // namespace
