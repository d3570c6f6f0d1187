#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>

namespace graphics {

// An immutable bitmap: cairo ARGB32, that is premultiplied 32-bit words with
// alpha in the top byte, so bytes blue, green, red, alpha in memory on a
// little-endian machine. Rows are `stride()` bytes apart, top row first.
class Image {
 public:
  // Takes ownership of an ARGB32 image surface. nullptr for anything else or
  // for a surface in an error state.
  static std::shared_ptr<const Image> adopt(cairo_surface_t* surface);
  // A copy of any cairo surface, in pixels (its device scale ignored).
  static std::shared_ptr<const Image> copyOf(cairo_surface_t* surface);
  // A new image with the given pixels copied in (BGRA premultiplied rows).
  static std::shared_ptr<const Image> fromPixels(int width, int height, const uint8_t* bgra,
                                                 int strideBytes);
  ~Image();
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  int width() const;
  int height() const;
  int stride() const;
  const uint8_t* row(int y) const;
  cairo_surface_t* surface() const { return surface_; }

 private:
  explicit Image(cairo_surface_t* surface) : surface_(surface) {}
  cairo_surface_t* surface_;
};

using ImageRef = std::shared_ptr<const Image>;

// `source` scaled to exactly `width` × `height` (edges padded, not faded).
ImageRef resized(const Image& source, int width, int height);

// A hash of the size and every sixteenth row: two pictures with the same
// signature almost surely show the same page, at a sixteenth of the cost of
// comparing them whole.
uint64_t sampledRowsSignature(const Image& image);

}  // namespace graphics
