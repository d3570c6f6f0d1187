#include "vuzizeri/arguments.h"

#include <glib.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstring>
#include <cmath>
#include <cstdlib>
#include <locale.h>

#include "common/integer_syntax.h"
#include "vuzizeri/devices.h"

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

namespace {

bool isToken(std::string_view text) {
  // RFC 9110's token: what a header or cookie name may be made of.
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("!#$%&'*+-.^_`|~", c);
  });
}

bool isPrintable(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return static_cast<unsigned char>(c) >= 0x20 && c != 0x7f;
  });
}

// "Nome: valor", with the value's surrounding blanks dropped.
std::optional<std::string> headerLine(std::string_view text) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos || !isToken(text.substr(0, colon))) return std::nullopt;
  std::string_view value = text.substr(colon + 1);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  if (!isPrintable(value)) return std::nullopt;
  return std::string(text.substr(0, colon)) + ": " + std::string(value);
}

ParseResult usage() {
  ParseResult r;
  r.showUsage = true;
  return r;
}

ParseResult refused(std::string message) {
  ParseResult r;
  r.message = std::move(message);
  return r;
}

ParseResult deviceListing() {
  ParseResult r;
  r.listDevices = true;
  return r;
}

bool isCookie(std::string_view text) {
  const size_t equals = text.find('=');
  return equals != std::string_view::npos && isToken(text.substr(0, equals)) &&
         isPrintable(text) && text.find(';') == std::string_view::npos;
}

}  // namespace

ParseResult parseArguments(const std::vector<std::string>& all,
                           const std::vector<Device>& devices) {
  Arguments a;
  const Device* device = nullptr;
  // Options come first; "--" ends them. An unknown one, or one without its
  // value, is a usage error.
  size_t first = 0;
  for (; first < all.size() && all[first].starts_with("--"); ++first) {
    const std::string& option = all[first];
    if (option == "--") {
      ++first;
      break;
    }
    if (option == "--quadro-a-quadro") a.frameByFrame = true;
    else if (option == "--sem-banners") a.noBanners = true;
    else if (option == "--aparelhos") return deviceListing();
    else {
      static const char* const kWithValue[] = {"--aparelho", "--cabecalho", "--cookie",
                                               "--esconder", "--remover", "--estilo",
                                               "--script", "--esperar-elemento", "--esquema"};
      if (std::find(std::begin(kWithValue), std::end(kWithValue), option) == std::end(kWithValue) ||
          first + 1 >= all.size())
        return usage();
      const std::string& value = all[++first];
      if (option == "--aparelho") {
        auto found = std::find_if(devices.begin(), devices.end(),
                                  [&](const Device& d) { return d.name == value; });
        if (found == devices.end())
          return refused("aparelho desconhecido: " + value + " (vuzizeri --aparelhos lista os nomes)\n");
        device = &*found;
      } else if (option == "--cabecalho") {
        auto header = headerLine(value);
        if (!header) return refused("cabeçalho inválido: " + value + "\n");
        a.headers.push_back(*header);
      } else if (option == "--cookie") {
        if (!isCookie(value)) return refused("cookie inválido: " + value + "\n");
        a.cookies.push_back(value);
      } else if (option == "--esquema") {
        if (value != "claro" && value != "escuro")
          return refused("esquema desconhecido: " + value + " (claro ou escuro)\n");
        a.dark = value == "escuro";
      } else if (value.empty()) {
        return usage();
      } else if (option == "--esconder") {
        a.hide.push_back(value);
      } else if (option == "--remover") {
        a.remove.push_back(value);
      } else if (option == "--estilo") {
        a.styleFile = value;
      } else if (option == "--script") {
        a.scriptFile = value;
      } else {
        a.waitFor = value;
      }
    }
  }
  std::vector<std::string> args(all.begin() + static_cast<ptrdiff_t>(first), all.end());
  if (device) {
    // The device's four numbers take their place between the URL and the
    // output.
    if (args.size() < 2) return usage();
    args.insert(args.begin() + 1, {std::to_string(device->cssW), std::to_string(device->cssH),
                                   device->scale, std::to_string(device->safeTop)});
  }
  if (args.size() < 6) return usage();

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
  // Headers and cookies go to the page's server; a page without one has none.
  const char* peeked = g_uri_peek_scheme(a.url.c_str());
  const std::string scheme = peeked ? peeked : "";
  if ((!a.headers.empty() || !a.cookies.empty()) && scheme != "http" && scheme != "https")
    return refused("--cabecalho e --cookie valem só para páginas http e https\n");

  std::optional<PixelSizes> sizes = pixelSizes(a);
  if (!sizes || sizes->pxW < 1 || sizes->pxH < 1) return {};
  std::optional<int> windowScale = windowScaleFor(a);
  if (!windowScale) return {};
  a.windowScale = *windowScale;
  ParseResult parsed;
  parsed.arguments = a;
  return parsed;
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
