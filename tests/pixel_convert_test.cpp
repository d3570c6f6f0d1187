// The writer's own colour conversion for H.264, against BT.709 by hand.

#include <gtest/gtest.h>

#include <vector>

#include "platform/media/pixel_convert.h"

namespace media {
namespace {

struct Picture {
  std::vector<uint8_t> y, cb, cr;
};

Picture convert(const std::vector<uint8_t>& bgra, int width, int height, int stride) {
  Picture p{std::vector<uint8_t>(width * height), std::vector<uint8_t>(width * height / 4),
            std::vector<uint8_t>(width * height / 4)};
  bgraToYuv420p(bgra.data(), stride, width, height,
                Yuv420pPlanes{p.y.data(), p.cb.data(), p.cr.data(), width, width / 2, width / 2});
  return p;
}

TEST(Yuv420p, PrimariesAndGreysLandOnTheirCodes) {
  // One 2 × 2 block per colour: white, black, red, blue; rows padded to 40 bytes.
  const uint8_t colours[4][4] = {{255, 255, 255, 255}, {0, 0, 0, 255}, {0, 0, 255, 255},
                                 {255, 0, 0, 255}};
  const int width = 8, height = 2, stride = 40;
  std::vector<uint8_t> bgra(stride * height, 0xEE);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      std::copy(colours[x / 2], colours[x / 2] + 4, &bgra[y * stride + 4 * x]);
  Picture p = convert(bgra, width, height, stride);
  EXPECT_EQ(p.y[0], 235);
  EXPECT_EQ(p.cb[0], 128);
  EXPECT_EQ(p.cr[0], 128);
  EXPECT_EQ(p.y[2], 16);
  EXPECT_EQ(p.cb[1], 128);
  EXPECT_EQ(p.y[4], 63);    // red: 16 + 219 × 0.2126
  EXPECT_EQ(p.cb[2], 102);  // 128 − 112 × 0.2126 / 0.9278
  EXPECT_EQ(p.cr[2], 240);
  EXPECT_EQ(p.y[6], 32);    // blue: 16 + 219 × 0.0722
  EXPECT_EQ(p.cb[3], 240);
  EXPECT_EQ(p.cr[3], 118);  // 128 − 112 × 0.0722 / 0.7874
  EXPECT_EQ(p.y[8 + 4], 63) << "second row converted too";
}

TEST(Yuv420p, ChromaIsTheMeanOfItsFourPixels) {
  // A red pixel among three black ones: a quarter of red's chroma swing.
  std::vector<uint8_t> bgra = {0, 0, 255, 255, 0, 0, 0, 255,  //
                               0, 0, 0, 255,   0, 0, 0, 255};
  Picture p = convert(bgra, 2, 2, 8);
  EXPECT_EQ(p.cr[0], 128 + (240 - 128) / 4);
  EXPECT_EQ(p.y[0], 63);
  EXPECT_EQ(p.y[1], 16);
}

}  // namespace
}  // namespace media
