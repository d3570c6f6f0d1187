#include "vuzizeri/arguments.h"

#include <glib.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>

#include "common/integer_syntax.h"

namespace vuz {

namespace {

bool isLeadingSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::optional<int64_t> truncatedProduct(double scale, int64_t size) {
  double product = scale * static_cast<double>(size);
  // 2^63 is the first double outside the range; −2^63 is still inside.
  if (!std::isfinite(product) || product >= 0x1p63 || product < -0x1p63) return std::nullopt;
  return static_cast<int64_t>(product);
}

// ⌈scale⌉, when the screen that holds the window at that scale fits X11's
// coordinates. Every product is checked before it is formed.
std::optional<int> windowScaleFor(const Arguments& a) {
  const double scale = std::ceil(a.scale);
  if (!(scale >= 1 && scale <= kMaxScreenSide) || a.cssW > kMaxScreenSide ||
      a.contentH > kMaxScreenSide)
    return std::nullopt;
  const int windowScale = static_cast<int>(scale);
  if ((kWindowOrigin + a.cssW) * windowScale > kMaxScreenSide ||
      (kWindowOrigin + a.contentH) * windowScale > kMaxScreenSide)
    return std::nullopt;
  return windowScale;
}

}  // namespace

std::optional<double> parseScale(std::string_view text) {
  if (text.empty() || isLeadingSpace(text.front())) return std::nullopt;
  std::string copy(text);  // strtod needs the terminating zero
  // GTK switches the process to the user's locale; a "C" locale object keeps
  // the full stop as the decimal separator whatever it is.
  static locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  char* end = nullptr;
  double value = strtod_l(copy.c_str(), &end, cLocale);
  if (end != copy.c_str() + copy.size()) return std::nullopt;
  return value;
}

ParseResult parseArguments(const std::vector<std::string>& all) {
  Arguments a;
  // Options come first; "--" ends them. An unknown one is a usage error.
  size_t first = 0;
  for (; first < all.size() && all[first].starts_with("--"); ++first) {
    const std::string& option = all[first];
    if (option == "--") {
      ++first;
      break;
    }
    if (option == "--quadro-a-quadro") a.frameByFrame = true;
    else return {std::nullopt, true};
  }
  const std::vector<std::string> args(all.begin() + static_cast<ptrdiff_t>(first), all.end());
  if (args.size() < 6) return {std::nullopt, true};

  a.url = args[0];
  a.cssW = parseInt64(args[1]).value_or(0);
  a.cssH = parseInt64(args[2]).value_or(0);
  a.scale = parseScale(args[3]).value_or(0.0);
  a.safeTop = parseInt64(args[4]).value_or(0);
  a.outPath = args[5];

  // "!(scale > 0)" and not "scale <= 0": a NaN must not slip through.
  if (a.cssW < 1 || a.cssH < 1 || !(a.scale > 0) || a.safeTop < 0 || a.safeTop >= a.cssH)
    return {};
  a.contentH = a.cssH - a.safeTop;

  // Only an absolute URI can be loaded; refuse anything else up front rather
  // than wait out the time limit on a load that cannot start.
  if (!g_uri_is_valid(a.url.c_str(), G_URI_FLAGS_NONE, nullptr)) return {};

  std::optional<PixelSizes> sizes = pixelSizes(a);
  if (!sizes || sizes->pxW < 1 || sizes->pxH < 1) return {};
  std::optional<int> windowScale = windowScaleFor(a);
  if (!windowScale) return {};
  a.windowScale = *windowScale;
  return {a, false};
}

std::optional<PixelSizes> pixelSizes(const Arguments& a) {
  auto pxW = truncatedProduct(a.scale, a.cssW);
  auto pxH = truncatedProduct(a.scale, a.cssH);
  auto bandPx = truncatedProduct(a.scale, a.safeTop);
  auto contentPx = truncatedProduct(a.scale, a.contentH);
  if (!pxW || !pxH || !bandPx || !contentPx) return std::nullopt;
  return PixelSizes{*pxW, *pxH, *bandPx, *contentPx};
}

}  // namespace vuz
