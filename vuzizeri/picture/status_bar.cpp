#include "vuzizeri/picture/status_bar.h"

#include <algorithm>
#include <cmath>

namespace vuz {

namespace {

// The parts' sizes, in points, as a phone's bar has them about.
constexpr double kIslandTimeSize = 17, kPlainTimeSize = 12;
constexpr double kSignalWidth = 17, kWifiWidth = 16, kBatteryWidth = 26, kIconGap = 5;
constexpr double kIconsWidth = kSignalWidth + kIconGap + kWifiWidth + kIconGap + kBatteryWidth;
constexpr double kSideMargin = 8;
constexpr double kLowestBand = 14;

}  // namespace

double bandLightness(const std::vector<double>& bandCols) {
  const size_t columns = bandCols.size() / 3;
  if (columns == 0) return 1;
  double sum[3] = {0, 0, 0};
  for (size_t i = 0; i < columns; ++i)
    for (int c = 0; c < 3; ++c) sum[c] += bandCols[3 * i + c];
  return (0.2126 * sum[0] + 0.7152 * sum[1] + 0.0722 * sum[2]) / static_cast<double>(columns);
}

BarShade barShade(std::optional<BarShade> before, double lightness) {
  if (lightness > kDarkGlyphsAbove) return BarShade::kDark;
  if (lightness < kLightGlyphsBelow) return BarShade::kLight;
  return before.value_or(lightness >= 0.5 ? BarShade::kDark : BarShade::kLight);
}

StatusBarLayout statusBarLayout(double cssW, double safeTop, double scale,
                                const ScreenShape& shape) {
  StatusBarLayout l;
  l.unit = scale;
  l.fits = safeTop >= kLowestBand && cssW >= kIconsWidth + 2 * kSideMargin + 40;
  const bool cutout = shape.cutout != ScreenShape::Cutout::kNone && shape.cutoutWidth > 0;
  const double size = cutout ? kIslandTimeSize : std::min(kPlainTimeSize, safeTop * 0.6);
  double centre = safeTop / 2, timeX = cssW / 2, iconsX = 0;
  if (cutout) {
    const double ear = (cssW - shape.cutoutWidth) / 2;
    centre = shape.cutoutTop + std::max(shape.cutoutHeight, 20.0) / 2;
    timeX = ear / 2;
    iconsX = cssW - ear / 2 - kIconsWidth / 2;
    l.fits = l.fits && ear >= kIconsWidth + 4;
  }
  const double icon = size * 0.68;
  l.centreY = centre * scale;
  l.timeCentreX = timeX * scale;
  l.timeSize = size * scale;
  l.iconHeight = icon * scale;
  l.signalX = iconsX * scale;
  l.wifiX = (iconsX + kSignalWidth + kIconGap) * scale;
  l.batteryX = (iconsX + kSignalWidth + kIconGap + kWifiWidth + kIconGap) * scale;
  if (!cutout) {
    // Signal and Wi-Fi on the left, the battery on the right.
    l.signalX = kSideMargin * scale;
    l.wifiX = (kSideMargin + kSignalWidth + kIconGap) * scale;
    l.batteryX = (cssW - kSideMargin - kBatteryWidth) * scale;
  }
  return l;
}

void drawStatusBar(graphics::Canvas& canvas, const StatusBarLayout& l, BarShade shade,
                   const std::string& time) {
  if (!l.fits) return;
  const double v = shade == BarShade::kDark ? 0 : 1;
  const graphics::Colour ink{v, v, v, 1}, faint{v, v, v, 0.4};
  const double u = l.unit, h = l.iconHeight, top = l.centreY - h / 2;

  const char* face = "system-ui";
  const double width = canvas.textWidth(time, face, l.timeSize, true);
  canvas.fillText(time, l.timeCentreX - width / 2, l.centreY + l.timeSize * 0.36, face, l.timeSize,
                  true, ink);

  // Four bars rising to the icon's height.
  const double bar = 3 * u, step = (kSignalWidth * u - bar) / 3;
  for (int i = 0; i < 4; ++i) {
    const double high = h * (0.4 + 0.2 * i);
    canvas.fillRoundedRect(l.signalX + i * step, top + h - high, bar, high, 0.8 * u, ink);
  }
  // Wi-Fi: a dot and two arcs, a quarter circle each, opening upwards.
  const double cx = l.wifiX + kWifiWidth * u / 2, cy = top + h;
  const double from = -M_PI * 3 / 4, to = -M_PI / 4, line = 2.2 * u;
  canvas.fillSector(cx, cy, h * 0.38, from, to, ink);
  canvas.strokeArc(cx, cy, h * 0.68, from, to, line, ink);
  canvas.strokeArc(cx, cy, h - line / 2, from, to, line, ink);
  // The battery: its outline faint, its charge full, its terminal faint.
  const double bw = (kBatteryWidth - 2.5) * u, bh = h * 0.95, by = l.centreY - bh / 2;
  canvas.strokeRoundedRect(l.batteryX, by, bw, bh, 3.5 * u, 1 * u, faint);
  canvas.fillRoundedRect(l.batteryX + 2 * u, by + 2 * u, bw - 4 * u, bh - 4 * u, 2 * u, ink);
  canvas.fillRoundedRect(l.batteryX + bw + 0.8 * u, l.centreY - bh / 6, 1.5 * u, bh / 3, 0.7 * u,
                         faint);
}

}  // namespace vuz
