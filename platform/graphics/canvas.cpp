#include "platform/graphics/canvas.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace graphics {

namespace {

// A paragraph's characters laid out, more than any screen shows.
constexpr glong kMaxParagraphCharacters = 500;

}  // namespace

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

void Canvas::blendImage(const Image& image, double x, double y, double opacity, double zoom,
                        double cx, double cy) {
  if (opacity <= 0 || zoom <= 0) return;
  cairo_save(cr_);
  if (zoom != 1) {
    cairo_translate(cr_, cx, cy);
    cairo_scale(cr_, zoom, zoom);
    cairo_translate(cr_, -cx, -cy);
  }
  cairo_set_source_surface(cr_, image.surface(), x, y);
  cairo_paint_with_alpha(cr_, std::min(opacity, 1.0));
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

void Canvas::roundedRectPath(double x, double y, double width, double height, double radius) {
  const double r = std::clamp(radius, 0.0, std::min(width, height) / 2);
  cairo_new_sub_path(cr_);
  cairo_arc(cr_, x + width - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr_, x + width - r, y + height - r, r, 0, M_PI / 2);
  cairo_arc(cr_, x + r, y + height - r, r, M_PI / 2, M_PI);
  cairo_arc(cr_, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr_);
}

void Canvas::setColour(Colour c) { cairo_set_source_rgba(cr_, c.red, c.green, c.blue, c.alpha); }

void Canvas::setFont(const std::string& family, double size, bool bold) {
  cairo_select_font_face(cr_, family.c_str(), CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr_, size);
}

void Canvas::fillRoundedRect(double x, double y, double width, double height, double radius,
                             Colour colour, bool replace) {
  cairo_save(cr_);
  roundedRectPath(x, y, width, height, radius);
  setColour(colour);
  if (replace) cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
  cairo_fill(cr_);
  cairo_restore(cr_);
}

void Canvas::strokeRoundedRect(double x, double y, double width, double height, double radius,
                               double lineWidth, Colour colour) {
  cairo_save(cr_);
  roundedRectPath(x, y, width, height, radius);
  setColour(colour);
  cairo_set_line_width(cr_, lineWidth);
  cairo_stroke(cr_);
  cairo_restore(cr_);
}

void Canvas::strokeLine(const std::vector<double>& points, double lineWidth, Colour colour) {
  if (points.size() < 4) return;
  cairo_save(cr_);
  cairo_new_path(cr_);
  cairo_move_to(cr_, points[0], points[1]);
  for (size_t i = 2; i + 1 < points.size(); i += 2) cairo_line_to(cr_, points[i], points[i + 1]);
  setColour(colour);
  cairo_set_line_width(cr_, lineWidth);
  cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
  cairo_stroke(cr_);
  cairo_restore(cr_);
}

void Canvas::fillSector(double cx, double cy, double radius, double from, double to,
                        Colour colour) {
  cairo_save(cr_);
  cairo_move_to(cr_, cx, cy);
  cairo_arc(cr_, cx, cy, radius, from, to);
  cairo_close_path(cr_);
  setColour(colour);
  cairo_fill(cr_);
  cairo_restore(cr_);
}

void Canvas::strokeArc(double cx, double cy, double radius, double from, double to,
                       double lineWidth, Colour colour) {
  cairo_save(cr_);
  cairo_new_path(cr_);
  cairo_arc(cr_, cx, cy, radius, from, to);
  setColour(colour);
  cairo_set_line_width(cr_, lineWidth);
  cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
  cairo_stroke(cr_);
  cairo_restore(cr_);
}

void Canvas::path(const std::vector<double>& points, bool closed, double lineWidth, Colour colour) {
  if (points.size() < 4) return;
  cairo_save(cr_);
  cairo_new_path(cr_);
  cairo_move_to(cr_, points[0], points[1]);
  for (size_t i = 2; i + 1 < points.size(); i += 2) cairo_line_to(cr_, points[i], points[i + 1]);
  if (closed) cairo_close_path(cr_);
  setColour(colour);
  if (lineWidth > 0) {
    cairo_set_line_width(cr_, lineWidth);
    cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr_);
  } else {
    cairo_fill(cr_);
  }
  cairo_restore(cr_);
}

void Canvas::fillText(const std::string& text, double x, double y, const std::string& family,
                      double size, bool bold, Colour colour) {
  cairo_save(cr_);
  setFont(family, size, bold);
  setColour(colour);
  cairo_move_to(cr_, x, y);
  cairo_show_text(cr_, text.c_str());
  cairo_restore(cr_);
}

double Canvas::textWidth(const std::string& text, const std::string& family, double size,
                         bool bold) {
  cairo_save(cr_);
  setFont(family, size, bold);
  cairo_text_extents_t extents;
  cairo_text_extents(cr_, text.c_str(), &extents);
  cairo_restore(cr_);
  return extents.x_advance;
}

double Canvas::paragraph(const std::string& text, double x, double y, double width,
                         const std::string& family, double size, bool bold, const Colour* colour) {
  cairo_save(cr_);
  PangoLayout* layout = pango_cairo_create_layout(cr_);
  PangoFontDescription* font = pango_font_description_new();
  pango_font_description_set_family(font, family.c_str());
  pango_font_description_set_absolute_size(font, size * PANGO_SCALE);
  pango_font_description_set_weight(font, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_layout_set_font_description(layout, font);
  pango_font_description_free(font);
  pango_layout_set_width(layout, static_cast<int>(width * PANGO_SCALE));
  pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
  g_autofree char* valid = g_utf8_make_valid(text.c_str(), static_cast<gssize>(text.size()));
  // Pango takes minutes over a long unbroken word.
  if (g_utf8_strlen(valid, -1) > kMaxParagraphCharacters) {
    const std::string cut =
        std::string(valid, g_utf8_offset_to_pointer(valid, kMaxParagraphCharacters)) + "…";
    pango_layout_set_text(layout, cut.c_str(), -1);
  } else {
    pango_layout_set_text(layout, valid, -1);
  }
  int w = 0, h = 0;
  pango_layout_get_pixel_size(layout, &w, &h);
  if (colour) {
    setColour(*colour);
    cairo_move_to(cr_, x, y);
    pango_cairo_show_layout(cr_, layout);
  }
  g_object_unref(layout);
  cairo_restore(cr_);
  return h;
}

void Canvas::flush() { cairo_surface_flush(surface_); }

}  // namespace graphics
