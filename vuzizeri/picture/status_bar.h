#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/canvas.h"
#include "vuzizeri/picture/screen_shape.h"

// --barra-de-status: a phone's status bar on the band (the time, signal,
// Wi-Fi and battery), drawn by the recorder as shapes and text.
namespace vuz {

// Dark glyphs on a light band, light ones on a dark band.
enum class BarShade { kDark, kLight };

// The band's lightness, 0 to 1: the Rec. 709 luma of its mean colour
// (bandCols as the recorder keeps them, RGB 0 to 1 per column).
double bandLightness(const std::vector<double>& bandCols);
// The shade for a band this light. Between the two thresholds the shade
// stays as it was, so that a band easing through the middle never flickers.
inline constexpr double kDarkGlyphsAbove = 0.6, kLightGlyphsBelow = 0.4;
BarShade barShade(std::optional<BarShade> before, double lightness);

// Where the bar's parts go, in pixels of the frame, for a screen `cssW`
// points wide whose band is `safeTop` points high, at `scale` pixels a point.
// Beside a notch or island, the time is centred in the left "ear" and the
// icons in the right one, level with the cutout's middle; on a screen
// without one, the time is centred, signal and Wi-Fi on the left and the
// battery on the right.
struct StatusBarLayout {
  double unit = 1;     // pixels a point
  double centreY = 0;  // the parts' vertical middle
  double timeCentreX = 0;
  double timeSize = 0;  // the time's font size
  double iconHeight = 0;
  double signalX = 0;  // left edges of the signal bars, Wi-Fi and battery
  double wifiX = 0;
  double batteryX = 0;
  bool fits = false;  // false when the band is too low for a bar
};
StatusBarLayout statusBarLayout(double cssW, double safeTop, double scale,
                                const ScreenShape& shape);

// Draws the bar over the band.
void drawStatusBar(graphics::Canvas& canvas, const StatusBarLayout& layout, BarShade shade,
                   const std::string& time);

}  // namespace vuz
