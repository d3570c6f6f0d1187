#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/web/script_value.h"

// Frame by frame, a frame shows the page at its exact position snapped to
// the nearest row of the video. The page scrolls by whole CSS pixels; the
// rows left over are made up by moving the picture up by whole rows (a copy,
// never an interpolation, so every frame is as sharp as a still), except
// where the page shows parts that do not scroll: those stay where the page
// put them.
namespace vuz {

// A rectangle of frame pixels, right and bottom excluded.
struct PixelRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const PixelRect&) const = default;
};

// A header or a tab bar lifted out of the engine's painting (lifted_layers.h)
// in a frame: its place in pixels of the page's picture, whether the engine
// left it out of this picture, and whether it mixes with what lies under it
// (a shadow, rounded corners, translucency): then its place is the box its
// ink may reach, and it is kept with alpha from a picture of it alone.
struct LayerPlacement {
  int64_t id = 0;
  int64_t version = 0;  // changes whenever the element may look otherwise
  PixelRect rect;
  bool hidden = false;
  bool alpha = false;
};

// How a frame's picture is moved up: by whole rows, but for its still parts;
// then the lifted layers are drawn back over it.
struct RowShift {
  int rowsUp = 0;
  std::vector<PixelRect> still;
  std::vector<LayerPlacement> layers;
};

// The frame's scroll: the whole CSS pixel to scroll the page to, and the
// rows to move its picture up by, for the exact position `target` (CSS px)
// at `rowsPerCss` rows of the picture per CSS pixel.
struct SnappedScroll {
  double scrollTo = 0;
  int rowsUp = 0;
};
SnappedScroll snapScroll(double target, double rowsPerCss);

// The parts that stay in place, from the step script's list of viewport
// rectangles [left, top, right, bottom, ...] in CSS px, in rows of a picture
// of `width` × `height` at `rowsPerCss`: grown to whole rows and clipped.
std::vector<PixelRect> stillRects(const web::ScriptValue& list, double rowsPerCss, int width,
                                  int height);

// Moves the picture of `height` rows of `width` BGRA pixels at `pixels` up
// by `rows`, except inside `still`; the rows left at the bottom repeat the
// last one, and so do the rows above a still part the row above it.
void moveUpAroundStillParts(uint8_t* pixels, ptrdiff_t bytesPerRow, int width, int height, int rows,
                            const std::vector<PixelRect>& still);

}  // namespace vuz
