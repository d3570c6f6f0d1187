#include "vuzizeri/picture/still_parts.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vuz {

SnappedScroll snapScroll(double target, double rowsPerCss) {
  const double rows = std::round(target * rowsPerCss);
  // The whole pixel at or below the snapped position, however the division
  // rounds.
  double whole = std::floor(rows / rowsPerCss + 1e-9);
  int rowsUp = static_cast<int>(std::lround(rows - whole * rowsPerCss));
  if (rowsUp < 0) {
    whole -= 1;
    rowsUp = static_cast<int>(std::lround(rows - whole * rowsPerCss));
  }
  return {whole, rowsUp};
}

std::vector<PixelRect> stillRects(const web::ScriptValue& list, double rowsPerCss, int width,
                                  int height) {
  std::vector<PixelRect> rects;
  if (!list.isArray()) return rects;
  const std::vector<web::ScriptValue>& n = list.elements;
  for (size_t i = 0; i + 4 <= n.size(); i += 4) {
    if (!n[i].isNumber() || !n[i + 1].isNumber() || !n[i + 2].isNumber() || !n[i + 3].isNumber())
      continue;
    auto row = [&](double css, bool up) {
      const double v =
          up ? std::ceil(css * rowsPerCss - 1e-6) : std::floor(css * rowsPerCss + 1e-6);
      return std::isfinite(v) ? v : 0.0;
    };
    const PixelRect r{
        static_cast<int>(std::clamp(row(n[i].number, false), 0.0, double(width))),
        static_cast<int>(std::clamp(row(n[i + 1].number, false), 0.0, double(height))),
        static_cast<int>(std::clamp(row(n[i + 2].number, true), 0.0, double(width))),
        static_cast<int>(std::clamp(row(n[i + 3].number, true), 0.0, double(height)))};
    if (r.left < r.right && r.top < r.bottom) rects.push_back(r);
  }
  return rects;
}

void moveUpAroundStillParts(uint8_t* pixels, ptrdiff_t bytesPerRow, int width, int height, int rows,
                            const std::vector<PixelRect>& still) {
  if (rows <= 0 || height <= 0) return;
  rows = std::min(rows, height - 1);
  // The still parts as the picture has them, put back after the move, and
  // the row of page just above each: what moves up from under a still part
  // is hidden by it in the picture, and that row is repeated in its place.
  // Kept in memory reused from frame to frame: a header's rows are hundreds
  // of kilobytes, fresh pages of which cost more than the copy.
  thread_local std::vector<std::vector<uint8_t>> kept, above;
  kept.resize(std::max(kept.size(), still.size()));
  above.resize(std::max(above.size(), still.size()));
  for (size_t i = 0; i < still.size(); ++i) {
    const PixelRect& r = still[i];
    const size_t rowBytes = 4 * static_cast<size_t>(r.right - r.left);
    std::vector<uint8_t>& copy = kept[i];
    copy.resize(rowBytes * static_cast<size_t>(r.bottom - r.top));
    for (int y = r.top; y < r.bottom; ++y)
      std::memcpy(copy.data() + (y - r.top) * rowBytes, pixels + y * bytesPerRow + 4 * r.left,
                  rowBytes);
    const uint8_t* edge = pixels + (r.top - 1) * bytesPerRow + 4 * r.left;
    if (r.top > 0)
      above[i].assign(edge, edge + rowBytes);
    else
      above[i].clear();
  }
  const size_t rowBytes = 4 * static_cast<size_t>(width);
  for (int y = 0; y + rows < height; ++y)
    std::memcpy(pixels + y * bytesPerRow, pixels + (y + rows) * bytesPerRow, rowBytes);
  for (int y = height - rows; y < height; ++y)
    std::memcpy(pixels + y * bytesPerRow, pixels + (height - rows - 1) * bytesPerRow, rowBytes);
  for (size_t i = 0; i < still.size(); ++i) {
    const PixelRect& r = still[i];
    for (int y = std::max(0, r.top - rows); y < r.top && !above[i].empty(); ++y)
      std::memcpy(pixels + y * bytesPerRow + 4 * r.left, above[i].data(), above[i].size());
  }
  for (size_t i = 0; i < still.size(); ++i) {
    const PixelRect& r = still[i];
    const size_t rectBytes = 4 * static_cast<size_t>(r.right - r.left);
    for (int y = r.top; y < r.bottom; ++y)
      std::memcpy(pixels + y * bytesPerRow + 4 * r.left, kept[i].data() + (y - r.top) * rectBytes,
                  rectBytes);
  }
}

}  // namespace vuz
