#pragma once

#include <optional>
#include <string_view>

namespace vuz {

// A colour as CSS writes it, each channel 0 to 255.
struct CssColour {
  int red = 0, green = 0, blue = 0, alpha = 255;
  bool operator==(const CssColour&) const = default;
};

// "#rgb", "#rgba", "#rrggbb", "#rrggbbaa", "rgb(r, g, b)", "transparent", or one of
// CSS's sixteen basic names (white, black, silver, gray, red, maroon,
// yellow, olive, lime, green, aqua, teal, blue, navy, fuchsia, purple);
// case does not matter. Nothing for anything else.
std::optional<CssColour> parseCssColour(std::string_view text);

}  // namespace vuz
