#include "vuzizeri/recorder/top_colours.h"

#include <algorithm>

#include "vuzizeri/recorder/recorder.h"

namespace vuz {

namespace {

uint8_t median(uint8_t a, uint8_t b, uint8_t d) {
  return std::max(std::min(a, b), std::min(std::max(a, b), d));
}

}  // namespace

std::optional<std::vector<uint8_t>> coresDoTopo(const graphics::Image& image) {
  const int width = image.width();
  const int height = image.height();
  if (height < 1) return std::nullopt;
  std::vector<uint8_t> colours(3 * static_cast<size_t>(width));
  const uint8_t* row0 = image.row(0);
  const uint8_t* row1 = height >= 2 ? image.row(1) : row0;
  const uint8_t* row2 = height >= 3 ? image.row(2) : row1;
  for (int x = 0; x < width; ++x) {
    // The image is BGRA in memory; the result is RGB.
    for (int c = 0; c < 3; ++c) {
      int byte = 4 * x + (2 - c);
      colours[3 * static_cast<size_t>(x) + c] = median(row0[byte], row1[byte], row2[byte]);
    }
  }
  return colours;
}

void Vuzizeri::amostrarCorDoTopo(std::function<void()> then) {
  if (bandPx < 1) {
    then();
    return;
  }
  platform_.web->takeSnapshot(snapshotWidthPoints(),
                              [this, then = std::move(then)](graphics::ImageRef image) {
                                if (image) {
                                  if (auto colours = coresDoTopo(*image)) {
                                    bandCols.assign(colours->size(), 0.0);
                                    for (size_t i = 0; i < colours->size(); ++i)
                                      bandCols[i] = (*colours)[i] / 255.0;
                                  }
                                }
                                then();
                              });
}

}  // namespace vuz
