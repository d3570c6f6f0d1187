#pragma once

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/graphics/cairo_ptr.h"
#include "platform/graphics/image.h"

namespace graphics {

// Drawing over memory someone else owns (a frame buffer): 32-bit BGRA,
// premultiplied, rows top first. Coordinates have their origin at the top left.
class Canvas {
 public:
  // nullptr when cairo cannot take the memory (e.g. a stride that is not a
  // multiple of 4, or a size beyond its limits).
  static std::unique_ptr<Canvas> overMemory(uint8_t* data, int width, int height,
                                            ptrdiff_t bytesPerRow);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  // Draws `image` stretched to fill the rectangle exactly, replacing the
  // pixels underneath. Edges are padded, so a stretched image does not fade
  // to transparent at its border.
  void drawImage(const Image& image, double x, double y, double width, double height);
  // Makes every drawing visible in the memory.
  void flush();

 private:
  bool copyUnscaled(const Image& image, double x, double y, double width, double height);
  Canvas(SurfacePtr surface, ContextPtr cr)
      : surfaceOwner_(std::move(surface)), crOwner_(std::move(cr)) {}
  SurfacePtr surfaceOwner_;
  ContextPtr crOwner_;
  cairo_surface_t* const surface_ = surfaceOwner_.get();
  cairo_t* const cr_ = crOwner_.get();
};

}  // namespace graphics
