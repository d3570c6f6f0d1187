#include "vuzizeri/target/picture_fit.h"

#include <algorithm>
#include <cmath>

namespace vuz {

std::optional<PictureFit> fitPicture(int64_t width, int64_t height, const Target& t) {
  if (width < 2 || height < 2) return std::nullopt;
  PictureFit fit;
  media::PictureLayout& l = fit.layout;
  l.width = t.width;
  l.height = t.height;
  const double w = static_cast<double>(width), h = static_cast<double>(height);
  const double tw = static_cast<double>(t.width), th = static_cast<double>(t.height);
  auto even = [](double v) { return static_cast<int64_t>(std::lround(v / 2)) * 2; };
  if (t.fit == Target::Fit::kCover) {
    const double scale = std::max(tw / w, th / h);
    const int64_t shownW = std::clamp<int64_t>(even(tw / scale), 2, width & ~int64_t{1});
    const int64_t shownH = std::clamp<int64_t>(even(th / scale), 2, height & ~int64_t{1});
    const int64_t source[4] = {((width - shownW) / 2) & ~int64_t{1},
                               ((height - shownH) / 2) & ~int64_t{1}, shownW, shownH};
    std::copy(source, source + 4, l.source);
    const int64_t placed[4] = {0, 0, t.width, t.height};
    std::copy(placed, placed + 4, l.placed);
    fit.cut = std::max(1 - static_cast<double>(shownW) / w, 1 - static_cast<double>(shownH) / h);
    return fit;
  }
  const double scale = std::min(tw / w, th / h);
  const int64_t placedW = std::clamp<int64_t>(even(w * scale), 2, t.width & ~int64_t{1});
  const int64_t placedH = std::clamp<int64_t>(even(h * scale), 2, t.height & ~int64_t{1});
  const int64_t source[4] = {0, 0, width, height};
  std::copy(source, source + 4, l.source);
  const int64_t placed[4] = {((t.width - placedW) / 2) & ~int64_t{1},
                             ((t.height - placedH) / 2) & ~int64_t{1}, placedW, placedH};
  std::copy(placed, placed + 4, l.placed);
  return fit;
}

}  // namespace vuz
