#pragma once

#include <limits>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/graphics/canvas.h"
#include "platform/graphics/image.h"

// What iOS Safari shows when a finger taps a select or a date or time field:
// the menu of the select's options (a rounded card of rows, a checkmark
// before the current one) or the date picker (an inline calendar) or the
// time picker (wheels), anchored to the field. The sizes are UIKit's (menu
// rows 44 pt, 17 pt text, corners 13 pt; the calendar's 44 pt days) and the
// colours Apple's system colours (systemBlue #007AFF, #0A84FF in dark).
namespace vuz {

inline constexpr double kPickerOpenSeconds = 0.25;
inline constexpr double kPickerCloseSeconds = 0.2;

struct Picker {
  enum class Kind { kMenu, kDate, kTime };
  Kind kind = Kind::kMenu;
  std::vector<std::string> options;  // a menu's rows
  int checked = -1;                  // the row checked, -1 for none
  int shows = -1;                    // a long menu is scrolled to show this row in its middle
  std::string field;                 // the selector of the step that opened it
  std::string value;                 // a date (2026-12-24) or a time (14:30)
  // The field's box in the view, CSS px.
  double left = 0, top = 0, width = 0, height = 0;
  // When it opens, when it begins to close, and when the finger is on a
  // row (a menu's row, or a calendar's day) `pressed`.
  double opened = 0;
  double closed = std::numeric_limits<double>::infinity();
  int pressed = -1;
  std::string chosen;  // a date's or a time's value once pressed
  double pressedAt = std::numeric_limits<double>::infinity();
};

// The card in CSS px of a view `viewWidth` × `viewHeight`: below the field,
// or above it when it does not fit below, kept inside the view.
struct PickerCard {
  double x = 0, y = 0, width = 0, height = 0;
};
PickerCard pickerCard(const Picker& picker, double viewWidth, double viewHeight);
// Where a finger taps to pick row `index` (a menu's option, a calendar's
// day of the month, any for the wheels), CSS px of the view.
std::pair<double, double> pickerPoint(const Picker& picker, int index, double viewWidth,
                                      double viewHeight);
// Whether row `index` (as pickerPoint has it) shows in the picker as it is.
bool pickerShows(const Picker& picker, int index, double viewWidth, double viewHeight);
// How opaque the picker is at `seconds`: it fades in as it opens and out as
// it closes.
double pickerOpacity(const Picker& picker, double seconds);

// The pickers that show at `seconds`, each drawn once for each of its states
// and blended in at its opacity, over a view whose top left corner is at
// (`left`, `top`) of the canvas, `scale` rows to the CSS px.
class PickerPictures {
 public:
  void draw(graphics::Canvas& canvas, const std::vector<Picker>& pickers, double seconds,
            double left, double top, double viewWidth, double viewHeight, double scale, bool dark);

 private:
  struct Drawn {
    graphics::ImageRef image;
    double margin = 0;  // around the card, for its shadow (px)
  };
  std::map<std::pair<size_t, bool>, Drawn> drawn_;
};

}  // namespace vuz
