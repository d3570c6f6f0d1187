#pragma once

#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/graphics/canvas.h"

// The iPhone's on-screen keyboard as a screen recording shows it while a
// field has the focus: it slides up from the bottom, shows the keys the field
// asks for and pops each key up as it is typed. Measured in points (CSS px)
// from iOS 17 portrait on a phone with a home indicator.
namespace vuz {

// The key sets a field asks for: letters (text, search, password), email
// (@ and .), url (/ and .com), the number pad (inputmode=numeric), the
// phone pad (tel) and the decimal pad.
enum class KeyboardLayout { kLetters, kEmail, kUrl, kNumberPad, kPhonePad, kDecimalPad };

// The letters' order for the keyboard's language.
enum class LetterOrder { kQwerty, kAzerty, kQwertz };

struct KeyboardLook {
  KeyboardLayout layout = KeyboardLayout::kLetters;
  LetterOrder order = LetterOrder::kQwerty;
  bool shift = false;       // capitals on the keys
  std::string spaceLabel;   // "space" in the keyboard's language
  std::string returnLabel;  // "return", "go", "search", ...
  bool action = false;      // a blue return key (go, search, send, done)
  bool comma = false;       // the decimal pad's separator is a comma
  auto tied() const {
    return std::tie(layout, order, shift, spaceLabel, returnLabel, action, comma);
  }
  bool operator==(const KeyboardLook& other) const { return tied() == other.tied(); }
  bool operator<(const KeyboardLook& other) const { return tied() < other.tied(); }
};

// The predictive bar, the four rows of keys and the strip under them with
// the emoji and dictation keys; the home indicator's inset below that. The
// pads have no predictive bar. These add up to the keyboard frames UIKit
// reports on iPhones with a home indicator (335 points with the predictive
// bar, 291 for the number pad, whatever the phone's width); a home-button
// iPhone's 260 is the bar and the rows alone.
inline constexpr double kPredictiveBarCss = 44;
inline constexpr double kKeyRowsCss = 216;
inline constexpr double kKeyboardStripCss = 41;
// iOS's keyboard animation: a quarter second, easing out.
inline constexpr double kKeyboardSlideSeconds = 0.25;
// How long a key's pop-up shows: the finger's time on the key.
inline constexpr double kKeyPopSeconds = 0.1;

double keyboardHeightCss(KeyboardLayout layout, double homeInsetCss);

// A field's keyboard, from what the page says of it: its kind ("email",
// "url", "numeric", "tel", "decimal", anything else for letters), the
// language tag ("fr-FR"), whether shift is on, and enterkeyhint (or the
// field's own default: "go" for url, "search" for search; empty: return).
KeyboardLook keyboardLook(const std::string& kind, const std::string& language, bool shift,
                          const std::string& enterKeyHint);

enum class KeyRole { kCharacter, kFunction, kShift, kDelete, kSpace, kReturn, kPad };

// A key, its place in points from the keyboard's top left corner.
struct Key {
  std::string label;    // what it types or says ("q", "123", "return")
  std::string letters;  // the pads' small letters under the digit ("ABC")
  KeyRole role = KeyRole::kCharacter;
  double x = 0, y = 0, width = 0, height = 0;
};

// The keys of `look` on a keyboard `widthCss` points wide.
std::vector<Key> keyboardKeys(const KeyboardLook& look, double widthCss);

// The key that types `character` (as typed, any case), or nothing.
std::optional<Key> keyFor(const std::vector<Key>& keys, const std::string& character);

// What the keyboard does over time: shown with a look from a moment on,
// gone from another, and the keys pressed.
class KeyboardTimeline {
 public:
  // From `seconds` on, the keyboard shows `look`, or none.
  void set(double seconds, const std::optional<KeyboardLook>& look);
  void press(double seconds, const std::string& character);
  bool up() const { return !changes_.empty() && changes_.back().look.has_value(); }
  bool empty() const { return changes_.empty(); }

  struct Moment {
    std::optional<KeyboardLook> look;  // nothing: no keyboard at all
    double raised = 0;                 // 0 (below the screen) to 1 (all up)
    std::optional<std::string> popped;
  };
  Moment at(double seconds) const;

 private:
  struct Change {
    double seconds;
    std::optional<KeyboardLook> look;
  };
  std::vector<Change> changes_;
  std::vector<std::pair<double, std::string>> presses_;
};

// How far up the keyboard is `elapsed` seconds into its slide: 0 to 1,
// easing out.
double keyboardRise(double elapsed);

// Draws the keyboard, each look rendered once at the screen's resolution
// and reused; the pop-ups are drawn over it.
class KeyboardPicture {
 public:
  KeyboardPicture(double widthCss, double scale, bool dark, double homeInsetCss);
  // The keyboard as `timeline` has it at `seconds`, over a screen whose
  // bottom edge is at `bottom` and left edge at `left` (pixels).
  void draw(graphics::Canvas& canvas, const KeyboardTimeline& timeline, double seconds, double left,
            double bottom);

 private:
  const graphics::Image* rendered(const KeyboardLook& look);
  const double widthCss_, scale_, homeInset_;
  const bool dark_;
  std::map<KeyboardLook, graphics::ImageRef> rendered_;
};

}  // namespace vuz
