#include "platform/media/pixel_convert.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// Every luma sample is its own pixel's, every chroma sample the 2 × 2
// block's average, both by the BT.709 limited-range equations.
TEST(PixelConvert, BgraTo420pMatchesBt709WithChromaAveragedOverEach2x2Block) {
  const int width = 38, height = 4;
  const ptrdiff_t stride = 64 * 3;
  std::mt19937 rng(2);
  std::vector<uint8_t> bgra(stride * height);
  for (auto& b : bgra) b = static_cast<uint8_t>(rng());
  std::vector<uint8_t> y(width * height), cb(width * height / 4), cr(width * height / 4);
  media::bgraToYuv420p(bgra.data(), stride, width, height,
                       {y.data(), cb.data(), cr.data(), width, width / 2, width / 2});
  auto luma = [](double r, double g, double b) { return 0.2126 * r + 0.7152 * g + 0.0722 * b; };
  for (int row = 0; row < height; ++row) {
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = &bgra[row * stride + x * 4];
      EXPECT_NEAR(y[row * width + x], 16 + 219 * luma(p[2], p[1], p[0]) / 255, 0.51)
          << x << "," << row;
    }
  }
  for (int row = 0; row < height / 2; ++row) {
    for (int x = 0; x < width / 2; ++x) {
      double r = 0, g = 0, b = 0;
      for (int d = 0; d < 4; ++d) {
        const uint8_t* p = &bgra[(2 * row + d / 2) * stride + (2 * x + d % 2) * 4];
        b += p[0] / 1020.0;
        g += p[1] / 1020.0;
        r += p[2] / 1020.0;
      }
      const size_t i = row * width / 2 + x;
      EXPECT_NEAR(cb[i], 128 + 224 * (b - luma(r, g, b)) / 1.8556, 0.51) << x << "," << row;
      EXPECT_NEAR(cr[i], 128 + 224 * (r - luma(r, g, b)) / 1.5748, 0.51) << x << "," << row;
    }
  }
}

// Opaque and empty pixels stay; a partial one is divided by its opacity,
// rounded, and a colour that was above its opacity stops at 255.
TEST(PixelConvert, UnpremultiplyLeavesOpaqueAndEmptyPixelsAndClamps) {
  std::vector<uint8_t> bgra = {1, 2, 3, 255, 0, 0, 0, 0, 51, 102, 0, 128, 200, 0, 0, 100};
  media::unpremultiplyBgra(bgra.data(), 16, 4, 1);
  EXPECT_EQ(bgra,
            (std::vector<uint8_t>{1, 2, 3, 255, 0, 0, 0, 0, 102, 203, 0, 128, 255, 0, 0, 100}));
}

}  // namespace
