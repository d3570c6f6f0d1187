// empty_boxes <movie.mp4> <contentTopPx>
//
// For recordings of bench/pages/late_images.html: how many frames show a
// picture's empty box, its grey #ccc, over at least 40 pixels of a row and
// 8 rows in a row.

#include <cstdio>
#include <cstdlib>

#include "scroll_pattern.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: empty_boxes <movie> <contentTopPx>\n");
    return 2;
  }
  const int contentTop = std::atoi(argv[2]);
  int frames = 0, empty = 0;
  bool ok = scroll_pattern::forEachFrame(argv[1], [&](const scroll_pattern::LumaFrame& f) {
    ++frames;
    int rows = 0;
    for (int y = contentTop; y < f.height && rows < 8; ++y) {
      const uint8_t* row = f.luma + y * f.stride;
      int run = 0, longest = 0;
      for (int x = 0; x < f.width; ++x) {
        // #ccc is luma 191 in limited range; the pictures are saturated.
        run = row[x] >= 187 && row[x] <= 195 ? run + 1 : 0;
        if (run > longest) longest = run;
      }
      rows = longest >= 40 ? rows + 1 : 0;
    }
    empty += rows >= 8;
  });
  if (!ok) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  std::printf("frames %d, with an empty box %d (%.1f %%)\n", frames, empty,
              frames ? 100.0 * empty / frames : 0.0);
  return 0;
}
