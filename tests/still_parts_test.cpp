// Frame by frame: the exact position snapped to a row of the video, and the
// picture moved up by whole rows around the parts that do not scroll.

#include <gtest/gtest.h>

#include <vector>

#include "vuzizeri/picture/still_parts.h"

namespace vuz {
namespace {

TEST(StillParts, SnapsToTheNearestRowAndMovesWholeRowsAroundStillParts) {
  struct Snap {
    double target, rowsPerCss, scrollTo;
    int rowsUp;
  };
  for (const Snap& s : {Snap{10.2, 3, 10, 1}, Snap{10.5, 3, 10, 2}, Snap{10.9, 3, 11, 0},
                        Snap{10.4, 1, 10, 0}, Snap{10.6, 1, 11, 0}, Snap{0.1, 2.5, 0, 0},
                        Snap{7.0 / 3, 3, 2, 1}, Snap{1.0 / 3 - 1e-12, 3, 0, 1}}) {
    SnappedScroll got = snapScroll(s.target, s.rowsPerCss);
    EXPECT_EQ(got.scrollTo, s.scrollTo) << s.target << " at " << s.rowsPerCss;
    EXPECT_EQ(got.rowsUp, s.rowsUp) << s.target << " at " << s.rowsPerCss;
  }

  // Viewport rectangles in CSS px become whole rows at 3 rows a pixel, grown
  // outwards and clipped; empty ones and malformed entries are dropped.
  using web::ScriptValue;
  std::vector<ScriptValue> numbers;
  for (double v : {0.0, 0.0, 2.0, 0.6, /**/ 1.0, 1.5, 9.0, 2.0, /**/ 1.0, 1.0, 1.0, 2.0})
    numbers.push_back(ScriptValue::ofNumber(v));
  numbers.push_back(ScriptValue::ofString("x"));
  const std::vector<PixelRect> still = stillRects(ScriptValue::ofArray(numbers), 3, 4, 8);
  ASSERT_EQ(still, (std::vector<PixelRect>{{0, 0, 4, 2}, {3, 4, 4, 6}}));

  // A 4 × 8 picture whose pixel values are their row: moved up two rows,
  // the last row repeated below, the still parts as they were, and above
  // the lower one the row above it where the page under it would show.
  std::vector<uint8_t> pixels(4 * 4 * 8);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i / 16);
  moveUpAroundStillParts(pixels.data(), 16, 4, 8, 2, still);
  const int want[8][4] = {{0, 0, 0, 0}, {1, 1, 1, 1}, {4, 4, 4, 3}, {5, 5, 5, 3},
                          {6, 6, 6, 4}, {7, 7, 7, 5}, {7, 7, 7, 7}, {7, 7, 7, 7}};
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(pixels[16 * y + 4 * x], want[y][x]) << "row " << y << " column " << x;
}

}  // namespace
}  // namespace vuz
