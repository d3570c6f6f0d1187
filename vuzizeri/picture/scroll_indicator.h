#pragma once

#include <optional>

#include "platform/graphics/canvas.h"
#include "platform/graphics/image.h"

// --indicador-de-rolagem: iOS's scroll indicator, a thin rounded bar just
// inside the view's right edge while the page moves (UIScrollView's: 3 pt
// thick, 3 pt from the edge, fully round ends; black at 35 % over a light
// page, white over a dark one), fading once it has stood still a while.
namespace vuz {

inline constexpr double kIndicatorWidthCss = 3;
inline constexpr double kIndicatorInsetCss = 3;
inline constexpr double kIndicatorMinLengthCss = 36;
// It stays this long after the page stops, then fades over kIndicatorFadeSeconds.
inline constexpr double kIndicatorHoldSeconds = 0.5;
inline constexpr double kIndicatorFadeSeconds = 0.2;

// The bar in CSS px of the view: its left edge, top and length, for a page
// `pageHeight` high shown from `offset` in a view `viewWidth` × `viewHeight`
// whose bottom `bottomInset` px the home indicator keeps.
struct IndicatorBar {
  double x = 0, y = 0, length = 0;
};
IndicatorBar indicatorBar(double offset, double pageHeight, double viewWidth, double viewHeight,
                          double bottomInset);

// How opaque the bar is `sinceMove` seconds after the page last moved.
double indicatorOpacity(double sinceMove);

// The indicator as a run shows it: told where the page stands at each frame,
// it knows when it last moved; its picture is drawn once for each length and
// shade, and blended in at the frame's opacity.
class ScrollIndicator {
 public:
  // The page stands at `offset` at `seconds` on the video's clock.
  void note(double seconds, double offset);
  // Draws the bar over the page whose view's top left corner is (`left`,
  // `top`) of the canvas, `scale` rows to the CSS px; `light` tells a light
  // page under it.
  void draw(graphics::Canvas& canvas, double seconds, const IndicatorBar& bar, double left,
            double top, double scale, bool light);

 private:
  std::optional<double> offset_;
  double movedAt_ = -1e9;
  graphics::ImageRef picture_;
  double pictureLength_ = -1;
  bool pictureLight_ = false;
};

// Whether the pixels (BGRA) of the canvas strip `width` × `height` at `data`
// (rows `bytesPerRow` apart) are light on the whole: a sample of them.
bool lightUnder(const uint8_t* data, ptrdiff_t bytesPerRow, int width, int height);

}  // namespace vuz
