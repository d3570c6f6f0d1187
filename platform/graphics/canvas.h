#pragma once

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/graphics/cairo_ptr.h"
#include "platform/graphics/image.h"

#include <string>
#include <vector>

namespace graphics {

// A colour with its opacity, each 0 to 1 (straight, not premultiplied).
struct Colour {
  double red = 0, green = 0, blue = 0, alpha = 1;
};

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
  // Draws `image` with its top left corner at (x, y), blended over what is
  // there at `opacity` (0 to 1); `zoom` times its size around the point
  // (cx, cy) of the canvas.
  void blendImage(const Image& image, double x, double y, double opacity, double zoom = 1,
                  double cx = 0, double cy = 0);

  // Shapes and text, blended over what is there (or replacing it), antialiased.
  void fillRoundedRect(double x, double y, double width, double height, double radius,
                       Colour colour, bool replace = false);
  void strokeRoundedRect(double x, double y, double width, double height, double radius,
                         double lineWidth, Colour colour);
  // A line through `points` (x, y, x, y, ...), round at its ends and joints.
  void strokeLine(const std::vector<double>& points, double lineWidth, Colour colour);
  // The sector of the circle at (cx, cy) between two angles (radians,
  // clockwise from the right).
  void fillSector(double cx, double cy, double radius, double from, double to, Colour colour);
  // An arc of the circle at (cx, cy), stroked with round ends.
  void strokeArc(double cx, double cy, double radius, double from, double to, double lineWidth,
                 Colour colour);
  // The lines through `points` (x, y, x, y, ...): filled when `lineWidth` is
  // 0, else stroked that wide with round ends and joins; closed when asked.
  void path(const std::vector<double>& points, bool closed, double lineWidth, Colour colour);
  // Text in `family` (bold when asked), `size` px high, its baseline starting
  // at (x, y); textWidth() is how far it runs.
  void fillText(const std::string& text, double x, double y, const std::string& family, double size,
                bool bold, Colour colour);
  double textWidth(const std::string& text, const std::string& family, double size, bool bold);
  // A paragraph in any script the fonts cover (shaped, right to left where
  // it is, fonts falling back for what `family` lacks), wrapped to `width`
  // and centred in it, its top at (x, y), lines `size` px high; only
  // measured when `colour` is nothing. Past 500 characters, cut with "…".
  // Its height.
  double paragraph(const std::string& text, double x, double y, double width,
                   const std::string& family, double size, bool bold,
                   const Colour* colour = nullptr);
  // Makes every drawing visible in the memory.
  void flush();

 private:
  void roundedRectPath(double x, double y, double width, double height, double radius);
  void setColour(Colour colour);
  void setFont(const std::string& family, double size, bool bold);
  bool copyUnscaled(const Image& image, double x, double y, double width, double height);
  Canvas(SurfacePtr surface, ContextPtr cr)
      : surfaceOwner_(std::move(surface)), crOwner_(std::move(cr)) {}
  SurfacePtr surfaceOwner_;
  ContextPtr crOwner_;
  cairo_surface_t* const surface_ = surfaceOwner_.get();
  cairo_t* const cr_ = crOwner_.get();
};

}  // namespace graphics
