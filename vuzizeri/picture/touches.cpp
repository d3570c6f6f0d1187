#include "vuzizeri/picture/touches.h"

#include <algorithm>
#include <cmath>

namespace vuz {

double touchOpacity(double age, double held) {
  if (age < 0) return 0;
  if (age < 0.05) return 0.5 + age / 0.05 * 0.5;
  if (age < held) return 1;
  return std::max(0.0, 1 - (age - held) / 0.25);
}

void drawTouches(graphics::Canvas& canvas, const std::vector<Touch>& touches, double seconds,
                 double left, double top, double scale) {
  for (const Touch& touch : touches) {
    const double opacity = touchOpacity(seconds - touch.seconds, touch.held);
    if (opacity <= 0) continue;
    const double travelled =
        touch.held > 0 ? std::clamp((seconds - touch.seconds) / touch.held, 0.0, 1.0) : 1.0;
    const double x = left + (touch.x + travelled * touch.dx) * scale;
    const double y = top + (touch.y + travelled * touch.dy) * scale;
    const double radius = kTouchRadiusCss * scale;
    canvas.fillSector(x, y, radius, 0, 2 * M_PI, {0.5, 0.5, 0.5, 0.55 * opacity});
    canvas.strokeArc(x, y, radius - scale, 0, 2 * M_PI, 2 * scale, {1, 1, 1, 0.5 * opacity});
  }
}

}  // namespace vuz
