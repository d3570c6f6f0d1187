#include "vuzizeri/picture/scroll_indicator.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace vuz {

namespace {

// A page counts as moving when it moved more than this between frames.
constexpr double kStillCss = 0.01;

}  // namespace

IndicatorBar indicatorBar(double offset, double pageHeight, double viewWidth, double viewHeight,
                          double bottomInset) {
  const double track = std::max(0.0, viewHeight - 2 * kIndicatorInsetCss - bottomInset);
  const double share = pageHeight > viewHeight ? viewHeight / pageHeight : 1;
  const double length = std::min(track, std::max(kIndicatorMinLengthCss, track * share));
  const double end = pageHeight - viewHeight;
  const double along = end > 0 ? std::clamp(offset / end, 0.0, 1.0) : 0;
  return {viewWidth - kIndicatorInsetCss - kIndicatorWidthCss,
          kIndicatorInsetCss + (track - length) * along, length};
}

double indicatorOpacity(double sinceMove) {
  if (sinceMove < kIndicatorHoldSeconds) return 1;
  return std::max(0.0, 1 - (sinceMove - kIndicatorHoldSeconds) / kIndicatorFadeSeconds);
}

void ScrollIndicator::note(double seconds, double offset) {
  if (offset_ && std::abs(offset - *offset_) > kStillCss) movedAt_ = seconds;
  offset_ = offset;
}

void ScrollIndicator::draw(graphics::Canvas& canvas, double seconds, const IndicatorBar& bar,
                           double left, double top, double scale, bool light) {
  const double opacity = indicatorOpacity(seconds - movedAt_);
  if (opacity <= 0 || bar.length <= 0) return;
  const int width = static_cast<int>(std::ceil(kIndicatorWidthCss * scale));
  const int height = static_cast<int>(std::ceil(bar.length * scale));
  if (!picture_ || pictureLength_ != bar.length || pictureLight_ != light) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
    auto bars = graphics::Canvas::overMemory(pixels.data(), width, height, width * 4);
    if (!bars) return;
    const graphics::Colour shade =
        light ? graphics::Colour{0, 0, 0, 0.35} : graphics::Colour{1, 1, 1, 0.35};
    bars->fillRoundedRect(0, 0, kIndicatorWidthCss * scale, bar.length * scale,
                          kIndicatorWidthCss * scale / 2, shade);
    bars->flush();
    picture_ = graphics::Image::fromPixels(width, height, pixels.data(), width * 4);
    pictureLength_ = bar.length;
    pictureLight_ = light;
  }
  if (picture_)
    canvas.blendImage(*picture_, left + bar.x * scale, top + std::round(bar.y * scale), opacity);
}

bool lightUnder(const uint8_t* data, ptrdiff_t bytesPerRow, int width, int height) {
  double sum = 0;
  int count = 0;
  for (int y = 0; y < height; y += 8)
    for (int x = 0; x < width; x += 2) {
      const uint8_t* p = data + y * bytesPerRow + 4 * x;
      sum += 0.0722 * p[0] + 0.7152 * p[1] + 0.2126 * p[2];
      ++count;
    }
  return count == 0 || sum / count >= 128;
}

}  // namespace vuz
