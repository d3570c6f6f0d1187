#pragma once

// Owning pointers for cairo's reference-counted objects: each holds one
// reference, dropped when it goes.

#include <cairo.h>

#include <memory>

namespace graphics {

struct SurfaceRelease {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextRelease {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceRelease>;
using ContextPtr = std::unique_ptr<cairo_t, ContextRelease>;

}  // namespace graphics
