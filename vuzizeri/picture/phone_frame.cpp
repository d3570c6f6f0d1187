#include "vuzizeri/picture/phone_frame.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/graphics/canvas.h"

namespace vuz {

namespace {

constexpr double kBezelShare = 0.04, kMarginShare = 0.08;
constexpr double kModernRadius = 55, kModernIslandBand = 47;
const graphics::Colour kBody{0.07, 0.07, 0.08, 1}, kEdge{0.32, 0.32, 0.34, 1}, kCutout{0, 0, 0, 1};

graphics::Colour colourOf(const CssColour& c) {
  return {c.red / 255.0, c.green / 255.0, c.blue / 255.0, c.alpha / 255.0};
}

// The screen's rectangles where the overlay shows over the page: its four
// corners and its cutout, in pixels of the frame.
struct Box {
  int64_t x0, y0, x1, y1;
};
std::vector<Box> overScreen(const FrameLayout& l) {
  const int64_t r = static_cast<int64_t>(std::ceil(l.screenRadius)) + 1;
  const int64_t x0 = l.screenX, y0 = l.screenY, x1 = x0 + l.screenW, y1 = y0 + l.screenH;
  std::vector<Box> boxes = {{x0, y0, x0 + r, y0 + r},
                            {x1 - r, y0, x1, y0 + r},
                            {x0, y1 - r, x0 + r, y1},
                            {x1 - r, y1 - r, x1, y1}};
  const ScreenShape& s = l.shape;
  if (s.cutout != ScreenShape::Cutout::kNone) {
    const double w = s.cutoutWidth * l.unit, left = x0 + (l.screenW - w) / 2;
    boxes.push_back(
        {static_cast<int64_t>(left) - 1, y0, static_cast<int64_t>(std::ceil(left + w)) + 1,
         y0 + static_cast<int64_t>(std::ceil((s.cutoutTop + s.cutoutHeight) * l.unit)) + 1});
  }
  for (Box& b : boxes) {
    b.x0 = std::clamp(b.x0, x0, x1);
    b.x1 = std::clamp(b.x1, x0, x1);
    b.y0 = std::clamp(b.y0, y0, y1);
    b.y1 = std::clamp(b.y1, y0, y1);
  }
  return boxes;
}

}  // namespace

ScreenShape screenShape(const std::optional<ScreenShape>& device, int64_t safeTop) {
  if (device) return *device;
  ScreenShape modern;
  modern.cornerRadius = kModernRadius;
  if (safeTop >= kModernIslandBand)
    modern = {kModernRadius, ScreenShape::Cutout::kIsland, 126, 37, 11};
  return modern;
}

FrameLayout frameLayout(int64_t pxW, int64_t pxH, double scale, const ScreenShape& shape) {
  FrameLayout l;
  l.unit = scale;
  l.shape = shape;
  l.screenW = pxW;
  l.screenH = pxH;
  l.bezel = std::round(static_cast<double>(pxW) * kBezelShare);
  l.margin = std::round(static_cast<double>(pxW) * kMarginShare);
  const auto around = static_cast<int64_t>(l.bezel + l.margin);
  l.screenX = l.screenY = around;
  l.width = pxW + 2 * around;
  l.height = pxH + 2 * around;
  l.screenRadius =
      std::min(shape.cornerRadius * scale, static_cast<double>(std::min(pxW, pxH)) / 2);
  return l;
}

FrameArt frameArt(const FrameLayout& l, const CssColour& background) {
  const int width = static_cast<int>(l.width), height = static_cast<int>(l.height);
  std::vector<uint8_t> overlay(static_cast<size_t>(l.width * l.height * 4), 0);
  std::vector<uint8_t> screen(overlay.size(), 0);
  auto phone = graphics::Canvas::overMemory(overlay.data(), width, height, l.width * 4);
  auto shows = graphics::Canvas::overMemory(screen.data(), width, height, l.width * 4);
  if (!phone || !shows) return {};
  const double x = static_cast<double>(l.screenX), y = static_cast<double>(l.screenY);
  const double w = static_cast<double>(l.screenW), h = static_cast<double>(l.screenH);
  const double b = l.bezel, edge = std::max(1.0, 0.6 * l.unit);
  const graphics::Colour none{0, 0, 0, 0}, all{1, 1, 1, 1};
  phone->fillRoundedRect(0, 0, width, height, 0, colourOf(background), true);
  // The body with its metal edge, and the screen cut out of it.
  phone->fillRoundedRect(x - b, y - b, w + 2 * b, h + 2 * b, l.screenRadius + b, kEdge);
  phone->fillRoundedRect(x - b + edge, y - b + edge, w + 2 * (b - edge), h + 2 * (b - edge),
                         l.screenRadius + b - edge, kBody);
  phone->fillRoundedRect(x, y, w, h, l.screenRadius, none, true);
  shows->fillRoundedRect(x, y, w, h, l.screenRadius, all);
  const ScreenShape& s = l.shape;
  const double cw = s.cutoutWidth * l.unit, ch = s.cutoutHeight * l.unit;
  const double left = x + (w - cw) / 2;
  for (graphics::Canvas* c : {phone.get(), shows.get()}) {
    const graphics::Colour ink = c == phone.get() ? kCutout : none;
    const bool replace = c == shows.get();
    if (s.cutout == ScreenShape::Cutout::kIsland)
      c->fillRoundedRect(left, y + s.cutoutTop * l.unit, cw, ch, ch / 2, ink, replace);
    else if (s.cutout == ScreenShape::Cutout::kNotch)
      // Hanging from the top edge, its lower corners rounded; its upper
      // ones fall on the bezel, as dark.
      c->fillRoundedRect(left, y - ch, cw, 2 * ch, 0.35 * ch, ink, replace);
    c->flush();
  }
  return {graphics::Image::fromPixels(width, height, overlay.data(), width * 4),
          graphics::Image::fromPixels(width, height, screen.data(), width * 4)};
}

void applyFrame(uint8_t* frame, ptrdiff_t stride, const FrameArt& art, const FrameLayout& l) {
  const graphics::Image& overlay = *art.overlay;
  const size_t rowBytes = static_cast<size_t>(l.width) * 4;
  for (int64_t y = 0; y < l.height; ++y) {
    uint8_t* dst = frame + y * stride;
    const uint8_t* src = overlay.row(static_cast<int>(y));
    if (y < l.screenY || y >= l.screenY + l.screenH) {
      std::memcpy(dst, src, rowBytes);
      continue;
    }
    std::memcpy(dst, src, static_cast<size_t>(l.screenX) * 4);
    const size_t right = static_cast<size_t>(l.screenX + l.screenW) * 4;
    std::memcpy(dst + right, src + right, rowBytes - right);
  }
  // Premultiplied: the phone's colour plus the share of the page that shows.
  for (const Box& box : overScreen(l))
    for (int64_t y = box.y0; y < box.y1; ++y) {
      uint8_t* dst = frame + y * stride + box.x0 * 4;
      const uint8_t* src = overlay.row(static_cast<int>(y)) + box.x0 * 4;
      const uint8_t* shown = art.screen->row(static_cast<int>(y)) + box.x0 * 4;
      for (int64_t x = box.x0; x < box.x1; ++x, dst += 4, src += 4, shown += 4) {
        const int page = shown[3];
        if (page == 255) continue;
        for (int c = 0; c < 4; ++c)
          dst[c] = static_cast<uint8_t>(std::min(255, src[c] + (dst[c] * page + 127) / 255));
      }
    }
}

}  // namespace vuz
