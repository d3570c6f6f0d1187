#include "tessane/rgba_to_bgra.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(RgbaToBgra, SwapsRedAndBlueAndLeavesRowPaddingAlone) {
  // 3 × 2 pixels, destination rows 16 bytes apart (4 bytes of padding).
  const int width = 3, height = 2;
  const ptrdiff_t stride = 16;
  std::vector<uint8_t> src;
  for (int i = 0; i < width * height; ++i) {
    uint8_t k = static_cast<uint8_t>(i * 0x40);
    src.insert(src.end(), {uint8_t(0x11 + k), uint8_t(0x22 + k), uint8_t(0x33 + k), uint8_t(0x44 + k)});
  }
  std::vector<uint8_t> dst(stride * height, 0xEE);
  rgbaToBgra(src.data(), width, height, dst.data(), stride);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t k = static_cast<uint8_t>((y * width + x) * 0x40);
      const uint8_t* p = &dst[y * stride + x * 4];
      EXPECT_EQ(p[0], uint8_t(0x33 + k));
      EXPECT_EQ(p[1], uint8_t(0x22 + k));
      EXPECT_EQ(p[2], uint8_t(0x11 + k));
      EXPECT_EQ(p[3], uint8_t(0x44 + k));
    }
    for (ptrdiff_t i = width * 4; i < stride; ++i) EXPECT_EQ(dst[y * stride + i], 0xEE) << "row " << y;
  }
}

TEST(RgbaToBgra, WideRowsTakeTheVectorPathAndItsTail) {
  // 37 pixels: whole SIMD blocks plus a scalar remainder.
  const int width = 37;
  std::vector<uint8_t> src(width * 4);
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 7 + 1);
  std::vector<uint8_t> dst(width * 4 + 64, 0);
  rgbaToBgra(src.data(), width, 1, dst.data(), width * 4 + 64);
  for (int x = 0; x < width; ++x) {
    EXPECT_EQ(dst[x * 4 + 0], src[x * 4 + 2]);
    EXPECT_EQ(dst[x * 4 + 1], src[x * 4 + 1]);
    EXPECT_EQ(dst[x * 4 + 2], src[x * 4 + 0]);
    EXPECT_EQ(dst[x * 4 + 3], src[x * 4 + 3]);
  }
}

}  // namespace
