#include "platform/graphics/image.h"

#include <cstring>

#include "platform/graphics/cairo_ptr.h"

namespace graphics {

std::shared_ptr<const Image> Image::adopt(cairo_surface_t* surface) {
  if (!surface) return nullptr;
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS ||
      cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE ||
      cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_surface_flush(surface);
  // Pixels are pixels here: a device scale would shrink the image wherever
  // it is drawn.
  cairo_surface_set_device_scale(surface, 1, 1);
  return std::shared_ptr<const Image>(new Image(surface));
}

std::shared_ptr<const Image> Image::fromPixels(int width, int height, const uint8_t* bgra,
                                               int strideBytes) {
  SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  uint8_t* data = cairo_image_surface_get_data(surface.get());
  int stride = cairo_image_surface_get_stride(surface.get());
  for (int y = 0; y < height; ++y)
    std::memcpy(data + static_cast<ptrdiff_t>(y) * stride,
                bgra + static_cast<ptrdiff_t>(y) * strideBytes, static_cast<size_t>(width) * 4);
  cairo_surface_mark_dirty(surface.get());
  return adopt(surface.release());
}

std::shared_ptr<const Image> Image::copyOf(cairo_surface_t* source) {
  if (cairo_surface_status(source) != CAIRO_STATUS_SUCCESS ||
      cairo_surface_get_type(source) != CAIRO_SURFACE_TYPE_IMAGE)
    return nullptr;
  const int width = cairo_image_surface_get_width(source);
  const int height = cairo_image_surface_get_height(source);
  SurfacePtr target(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  double sx = 1, sy = 1;
  cairo_surface_get_device_scale(source, &sx, &sy);
  {
    ContextPtr cr(cairo_create(target.get()));
    cairo_scale(cr.get(), sx, sy);  // undo the source's device scale: one pixel per pixel
    cairo_set_source_surface(cr.get(), source, 0, 0);
    cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr.get());
  }
  return adopt(target.release());
}

Image::~Image() { cairo_surface_destroy(surface_); }

int Image::width() const { return cairo_image_surface_get_width(surface_); }
int Image::height() const { return cairo_image_surface_get_height(surface_); }
int Image::stride() const { return cairo_image_surface_get_stride(surface_); }

const uint8_t* Image::row(int y) const {
  return cairo_image_surface_get_data(surface_) + static_cast<ptrdiff_t>(y) * stride();
}

ImageRef resized(const Image& source, int width, int height) {
  SurfacePtr target(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  if (source.width() > 0 && source.height() > 0) {
    ContextPtr cr(cairo_create(target.get()));
    cairo_scale(cr.get(), static_cast<double>(width) / source.width(),
                static_cast<double>(height) / source.height());
    cairo_set_source_surface(cr.get(), source.surface(), 0, 0);
    cairo_pattern_set_extend(cairo_get_source(cr.get()), CAIRO_EXTEND_PAD);
    cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr.get());
  }
  return Image::adopt(target.release());
}

uint64_t sampledRowsSignature(const Image& image) {
  // FNV-1a over 64-bit words.
  uint64_t hash =
      0xcbf29ce484222325u ^ (static_cast<uint64_t>(image.width()) << 32 | image.height());
  const size_t words = static_cast<size_t>(image.width()) / 2;
  for (int y = 0; y < image.height(); y += 16) {
    const uint8_t* row = image.row(y);
    for (size_t i = 0; i < words; ++i) {
      uint64_t word;
      std::memcpy(&word, row + 8 * i, 8);
      hash = (hash ^ word) * 0x100000001b3u;
    }
  }
  return hash;
}

}  // namespace graphics
