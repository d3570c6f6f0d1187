#pragma once

#include <vector>

#include "platform/graphics/canvas.h"

// A finger's touches as iOS shows them on a screen recording: a grey disc
// with a lighter rim where the finger is.
namespace vuz {

// A touch as the video shows it: where (CSS px of the view), when the
// finger came down (on the run's clock), how long it stayed down, and how
// far it travelled meanwhile, at an even pace (a swipe).
struct Touch {
  double x = 0, y = 0;
  double seconds = 0;
  double held = 0.15;
  double dx = 0, dy = 0;
};

inline constexpr double kTouchRadiusCss = 20;

// How opaque the disc is `age` seconds after the finger came down, 0 to 1:
// it appears over the first 0.05 s, stays while the finger is down (`held`
// seconds) and fades over a quarter of a second.
double touchOpacity(double age, double held = 0.15);

// The discs of `touches` that show at `seconds`, on a screen whose page
// area's top left corner is at (`left`, `top`) of the canvas, `scale` rows
// to the CSS pixel.
void drawTouches(graphics::Canvas& canvas, const std::vector<Touch>& touches, double seconds,
                 double left, double top, double scale);

}  // namespace vuz
