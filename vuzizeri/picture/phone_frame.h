#pragma once

#include <optional>

#include <cstddef>
#include <cstdint>

#include "platform/graphics/image.h"
#include "vuzizeri/picture/css_colour.h"
#include "vuzizeri/picture/screen_shape.h"

// --moldura: the phone around the screen. The video grows by a bezel and a
// margin on every side; the screen's corners are rounded with the device's
// radius, and its notch or island is drawn over the page where the phone
// has it.
namespace vuz {

// The run's screen: the named device's, or else a recent iPhone's (corners
// of 55 pt, and the island when the band is at least 47 pt high, as on
// those phones).
ScreenShape screenShape(const std::optional<ScreenShape>& device, int64_t safeTop);

struct FrameLayout {
  int64_t width = 0, height = 0;     // the video's, in pixels
  int64_t screenX = 0, screenY = 0;  // where the screen goes
  int64_t screenW = 0, screenH = 0;
  double screenRadius = 0;  // pixels
  double bezel = 0;         // the black border around the screen, pixels
  double margin = 0;        // the background around the phone, pixels
  double unit = 1;          // pixels a point
  ScreenShape shape;
};
// The bezel is 4 % of the screen's width, the margin 8 %, in whole pixels.
FrameLayout frameLayout(int64_t pxW, int64_t pxH, double scale, const ScreenShape& shape);

// What is drawn once for every frame: `overlay`, the picture of the phone
// (`background` outside it, its body and bezel, its cutout) with nothing
// where the screen shows; and `screen`, whose alpha is how much of the page
// shows at each pixel: all of it inside the rounded screen, none under the
// cutout or outside the corners.
struct FrameArt {
  graphics::ImageRef overlay;
  graphics::ImageRef screen;
};
FrameArt frameArt(const FrameLayout& layout, const CssColour& background);

// Puts the phone on a frame whose screen is composed: the overlay copied
// outside the screen, and over its corners and cutout the overlay plus as
// much of the page as shows there.
void applyFrame(uint8_t* frame, ptrdiff_t stride, const FrameArt& art, const FrameLayout& layout);

}  // namespace vuz
