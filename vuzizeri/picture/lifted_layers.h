#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "platform/web/script_value.h"
#include "vuzizeri/picture/still_parts.h"

// Frame by frame, a header or a tab bar that stays in view is lifted out of
// the engine's painting, so that the engine scrolls the rest by moving what
// it painted: the recorder keeps the element's pixels from a frame in which
// the engine painted it and draws them over the frames in which it is hidden.
namespace vuz {

// The step script's list [id, version, left, top, right, bottom, hidden,
// alpha, ...] in CSS px, in pixels of a picture of `width` × `height` at
// `rowsPerCss`. The script lifts only elements on whole pixels inside the
// view; anything else is left out.
std::vector<LayerPlacement> layerPlacements(const web::ScriptValue& list, double rowsPerCss,
                                            int width, int height);

// Premultiplied BGRA `layer` over opaque `page`, `count` pixels.
void drawOver(uint8_t* page, const uint8_t* layer, size_t count);

class LayerPictures {
 public:
  // The page's picture of BGRA rows at `pixels`: the pixels of the plain
  // layers it shows are kept, and those it leaves out are drawn over it from
  // what was kept. False when one left out has nothing kept of its version.
  bool apply(uint8_t* pixels, ptrdiff_t bytesPerRow, const std::vector<LayerPlacement>& layers);
  // The layers with alpha that `layers` show and that have nothing kept of
  // their version: they are to be taken alone.
  std::vector<LayerPlacement> wantedAlone(const std::vector<LayerPlacement>& layers) const;
  // Keeps `layers` from a picture of them alone over nothing, premultiplied
  // BGRA rows at `pixels` of `width` × `height`.
  void keepAlone(const std::vector<LayerPlacement>& layers, const uint8_t* pixels,
                 ptrdiff_t bytesPerRow, int width, int height);
  // [id, version, ...] of what is kept: the layers the page may leave out of
  // its next pictures.
  std::vector<int64_t> kept() const;

 private:
  struct Kept {
    int64_t version = 0;
    PixelRect rect;
    std::vector<uint8_t> pixels;
    // With alpha: whether each row is opaque throughout, and can be copied.
    bool alpha = false;
    std::vector<bool> opaqueRows;
  };
  void drawBack(uint8_t* pixels, ptrdiff_t bytesPerRow, const Kept& k) const;
  std::map<int64_t, Kept> kept_;
};

}  // namespace vuz
