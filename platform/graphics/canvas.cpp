#include "platform/graphics/canvas.h"

#include <climits>
#include <cstring>

namespace graphics {

std::unique_ptr<Canvas> Canvas::overMemory(uint8_t* data, int width, int height,
                                           ptrdiff_t bytesPerRow) {
  if (!data || width <= 0 || height <= 0 || bytesPerRow % 4 != 0 || bytesPerRow > INT_MAX ||
      bytesPerRow < static_cast<ptrdiff_t>(width) * 4)
    return nullptr;
  SurfacePtr surface(cairo_image_surface_create_for_data(data, CAIRO_FORMAT_ARGB32, width, height,
                                                         static_cast<int>(bytesPerRow)));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  ContextPtr cr(cairo_create(surface.get()));
  if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  return std::unique_ptr<Canvas>(new Canvas(std::move(surface), std::move(cr)));
}

Canvas::~Canvas() = default;

void Canvas::drawImage(const Image& image, double x, double y, double width, double height) {
  if (image.width() <= 0 || image.height() <= 0 || width <= 0 || height <= 0) return;
  if (copyUnscaled(image, x, y, width, height)) return;
  cairo_save(cr_);
  cairo_rectangle(cr_, x, y, width, height);
  cairo_clip(cr_);
  cairo_translate(cr_, x, y);
  cairo_scale(cr_, width / image.width(), height / image.height());
  cairo_set_source_surface(cr_, image.surface(), 0, 0);
  // Padding matters only when scaling; without it an exact fit is a plain
  // copy for pixman.
  if (width != image.width() || height != image.height())
    cairo_pattern_set_extend(cairo_get_source(cr_), CAIRO_EXTEND_PAD);
  // The frame buffers are reused and never cleared: replacing rather than
  // blending keeps an old frame from showing through a transparent page.
  cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr_);
  cairo_restore(cr_);
}

bool Canvas::copyUnscaled(const Image& image, double x, double y, double width, double height) {
  // A whole-pixel placement at the image's own size is a plain row copy,
  // twice as fast as pixman's general path for a 10 MB frame.
  const int left = static_cast<int>(x), top = static_cast<int>(y);
  if (left != x || top != y || width != image.width() || height != image.height() || left < 0 ||
      top < 0 || left + image.width() > cairo_image_surface_get_width(surface_) ||
      top + image.height() > cairo_image_surface_get_height(surface_))
    return false;
  cairo_surface_flush(surface_);
  uint8_t* data = cairo_image_surface_get_data(surface_);
  const int stride = cairo_image_surface_get_stride(surface_);
  for (int row = 0; row < image.height(); ++row)
    std::memcpy(data + static_cast<ptrdiff_t>(top + row) * stride + 4 * left, image.row(row),
                4 * static_cast<size_t>(image.width()));
  cairo_surface_mark_dirty(surface_);
  return true;
}

void Canvas::flush() { cairo_surface_flush(surface_); }

}  // namespace graphics
