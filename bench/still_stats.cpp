// still_stats <movie.mp4> <scale> <contentTopPx>
//
// For recordings of bench/pages/fixed_header.html: how still the fixed
// header stays and how sharp each frame is. The header's lower edge is read
// in the white left margin, where the luma crosses halfway from the header's
// to the page's (in device px, fractions included); its spread is taken over
// the frames where the page moves. Sharpness is the mean squared difference
// between vertically neighbouring luma samples below the header (a blur
// spreads an edge and lowers it), relative to the first frame's, where the
// page stands still.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "scroll_pattern.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: still_stats <movie> <scale> <contentTopPx>\n");
    return 2;
  }
  const double scale = std::atof(argv[2]);
  const int contentTop = std::atoi(argv[3]);
  const int header = static_cast<int>(std::lround(56 * scale));
  std::vector<double> edges, sharpness;
  std::vector<uint8_t> previous;
  std::vector<bool> moving;
  bool ok = scroll_pattern::forEachFrame(argv[1], [&](const scroll_pattern::LumaFrame& f) {
    const int x = static_cast<int>(20 * scale);
    const int dark = f.luma[(contentTop + header / 2) * f.stride + x];
    const int light = f.luma[(contentTop + header * 3 / 2) * f.stride + x];
    const double half = (dark + light) / 2.0;
    double edge = 0;
    for (int y = contentTop + header / 2; y < contentTop + header * 3 / 2; ++y) {
      const double a = f.luma[y * f.stride + x], b = f.luma[(y + 1) * f.stride + x];
      if (a < half && b >= half) {
        edge = y + (half - a) / (b - a);
        break;
      }
    }
    edges.push_back(edge);
    double sum = 0;
    long count = 0;
    std::vector<uint8_t> below;
    for (int y = contentTop + header + 2; y + 1 < f.height; ++y) {
      const uint8_t* a = f.luma + y * f.stride;
      const uint8_t* b = a + f.stride;
      for (int i = static_cast<int>(40 * scale); i < f.width; ++i)
        sum += (a[i] - b[i]) * (a[i] - b[i]);
      count += f.width - static_cast<int>(40 * scale);
      below.insert(below.end(), a, a + f.width);
    }
    sharpness.push_back(count ? sum / count : 0);
    moving.push_back(!previous.empty() && below != previous);
    previous = std::move(below);
  });
  if (!ok || edges.empty()) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  double lo = 1e9, hi = -1e9, softest = 1e9;
  int movingFrames = 0, soft = 0;
  for (size_t i = 0; i < edges.size(); ++i) {
    if (!moving[i]) continue;
    ++movingFrames;
    lo = std::min(lo, edges[i]);
    hi = std::max(hi, edges[i]);
    const double relative = sharpness[i] / sharpness[0];
    softest = std::min(softest, relative);
    soft += relative < 0.9;
  }
  std::printf(
      "moving frames %d, header edge spread %.2f device px, frames below 0.9 of a still's "
      "sharpness %.1f %%, softest %.2f\n",
      movingFrames, movingFrames ? hi - lo : 0.0, movingFrames ? 100.0 * soft / movingFrames : 0.0,
      movingFrames ? softest : 1.0);
  return 0;
}
