#include "vuzizeri/picture/keyboard.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace vuz {

namespace {

using graphics::Colour;

// Rows of letter keys: 42 points high, 54 apart, 6 in from the edges, a key
// every tenth of the width with 6 points between keys.
constexpr double kKeyHeight = 42, kRowPitch = 54, kRowsTop = 6, kKeyGap = 6, kSide = 3;
// The pads: three columns of keys 46 points high, 7 apart.
constexpr double kPadKeyHeight = 46, kPadGap = 7, kPadSide = 6;
constexpr double kKeyRadius = 5;
// iOS draws its keys in SF Pro; Inter is the nearest face the recorder has.
constexpr char kFace[] = "Inter";

struct Words {
  const char* language;
  const char *space, *ret, *go, *search, *send, *next, *done;
};
// What iOS writes on the space bar and the return key in each language.
constexpr Words kWords[] = {
    {"en", "space", "return", "go", "search", "send", "next", "done"},
    {"pt", "espaço", "retorno", "ir", "buscar", "enviar", "seguinte", "OK"},
    {"fr", "espace", "retour", "aller", "rechercher", "envoyer", "suivant", "OK"},
    {"de", "Leerzeichen", "Return", "Öffnen", "Suchen", "Senden", "Weiter", "Fertig"},
    {"es", "espacio", "intro", "ir", "buscar", "enviar", "siguiente", "OK"},
};

const Words& wordsFor(const std::string& language) {
  for (const Words& w : kWords)
    if (language.rfind(w.language, 0) == 0) return w;
  return kWords[0];
}

std::string returnLabel(const Words& w, const std::string& hint, bool* action) {
  *action = true;
  if (hint == "go") return w.go;
  if (hint == "search") return w.search;
  if (hint == "send") return w.send;
  if (hint == "done") return w.done;
  *action = false;
  if (hint == "next") return w.next;
  return w.ret;
}

const char* letterRow(LetterOrder order, int row) {
  static const char* const kRows[3][3] = {{"qwertyuiop", "asdfghjkl", "zxcvbnm"},
                                          {"azertyuiop", "qsdfghjklm", "wxcvbn'"},
                                          {"qwertzuiop", "asdfghjkl", "yxcvbnm"}};
  return kRows[static_cast<int>(order)][row];
}

std::string capital(const std::string& text, bool shift) {
  std::string out = text;
  if (shift)
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

void letterKeys(const KeyboardLook& look, double width, std::vector<Key>& keys) {
  const double pitch = (width - 2 * kSide) / 10, keyWidth = pitch - kKeyGap;
  auto rowTop = [](int row) { return kPredictiveBarCss + kRowsTop + row * kRowPitch; };
  for (int row = 0; row < 3; ++row) {
    const std::string letters = letterRow(look.order, row);
    const double count = static_cast<double>(letters.size());
    // Each row centred; the third between shift and delete.
    double x = kSide + kKeyGap / 2 + (10 - count) * pitch / 2;
    for (char c : letters) {
      keys.push_back({capital(std::string(1, c), look.shift),
                      {},
                      KeyRole::kCharacter,
                      x,
                      rowTop(row),
                      keyWidth,
                      kKeyHeight});
      x += pitch;
    }
  }
  const double wide = 1.15 * pitch;
  keys.push_back({"shift", {}, KeyRole::kShift, kSide + kKeyGap / 2, rowTop(2), wide, kKeyHeight});
  keys.push_back({"delete",
                  {},
                  KeyRole::kDelete,
                  width - kSide - kKeyGap / 2 - wide,
                  rowTop(2),
                  wide,
                  kKeyHeight});
  // The bottom row: 123, then what the layout adds, space, and return.
  const double y = rowTop(3), side = 2.4 * pitch - kKeyGap;
  const double left = kSide + kKeyGap / 2, right = width - kSide - kKeyGap / 2;
  keys.push_back({"123", {}, KeyRole::kFunction, left, y, side, kKeyHeight});
  keys.push_back({look.returnLabel, {}, KeyRole::kReturn, right - side, y, side, kKeyHeight});
  // Between them the space bar, or else .com, takes what the others leave.
  std::vector<std::pair<std::string, double>> middle = {{"", 0}};
  const double one = pitch - kKeyGap;
  if (look.layout == KeyboardLayout::kEmail) middle = {{"", 0}, {"@", one}, {".", one}};
  if (look.layout == KeyboardLayout::kUrl) middle = {{".", one}, {"/", one}, {".com", 0}};
  double x = left + side + kKeyGap, rest = right - side - x;
  for (const auto& m : middle) rest -= m.second + kKeyGap;
  for (const auto& [label, w] : middle) {
    const double width = w > 0 ? w : rest;
    keys.push_back({label.empty() ? look.spaceLabel : label,
                    {},
                    label.empty() ? KeyRole::kSpace : KeyRole::kCharacter,
                    x,
                    y,
                    width,
                    kKeyHeight});
    x += width + kKeyGap;
  }
}

void padKeys(const KeyboardLook& look, double width, std::vector<Key>& keys) {
  const double keyWidth = (width - 2 * kPadSide - 2 * kPadGap) / 3;
  static const char* const kLetters[] = {"",    "ABC",  "DEF", "GHI", "JKL",
                                         "MNO", "PQRS", "TUV", "WXYZ"};
  auto at = [&](int column, int row, std::string label, std::string letters, KeyRole role) {
    keys.push_back({std::move(label), std::move(letters), role,
                    kPadSide + column * (keyWidth + kPadGap),
                    kRowsTop + row * (kPadKeyHeight + kPadGap), keyWidth, kPadKeyHeight});
  };
  for (int i = 0; i < 9; ++i)
    at(i % 3, i / 3, std::string(1, static_cast<char>('1' + i)),
       look.layout == KeyboardLayout::kNumberPad && i == 0 ? "" : kLetters[i], KeyRole::kPad);
  if (look.layout == KeyboardLayout::kPhonePad) at(0, 3, "+*#", "", KeyRole::kFunction);
  if (look.layout == KeyboardLayout::kDecimalPad)
    at(0, 3, look.comma ? "," : ".", "", KeyRole::kFunction);
  at(1, 3, "0", look.layout == KeyboardLayout::kPhonePad ? "+" : "", KeyRole::kPad);
  at(2, 3, "delete", "", KeyRole::kDelete);
}

bool isPad(KeyboardLayout layout) {
  return layout == KeyboardLayout::kNumberPad || layout == KeyboardLayout::kPhonePad ||
         layout == KeyboardLayout::kDecimalPad;
}

// The keyboard's colours: light, or dark for --esquema escuro.
struct Palette {
  Colour back, key, function, shadow, text, blue, mark;
};
const Palette& palette(bool dark) {
  static const Palette kLight{{0.82, 0.83, 0.86}, {1, 1, 1}, {0.67, 0.69, 0.74},
                              {0.54, 0.54, 0.56}, {0, 0, 0}, {0, 0.478, 1},
                              {0.65, 0.66, 0.69}};
  static const Palette kDark{{0.12, 0.12, 0.13}, {0.39, 0.39, 0.40}, {0.25, 0.25, 0.26}, {0, 0, 0},
                             {1, 1, 1},          {0.039, 0.518, 1},  {0.35, 0.35, 0.37}};
  return dark ? kDark : kLight;
}

// Draws in points: `x`, `y` from the keyboard's top left corner.
struct Pen {
  graphics::Canvas& canvas;
  double left, top, scale;
  double X(double x) const { return left + x * scale; }
  double Y(double y) const { return top + y * scale; }
  void rect(double x, double y, double w, double h, double r, Colour c) const {
    canvas.fillRoundedRect(X(x), Y(y), w * scale, h * scale, r * scale, c);
  }
  void text(const std::string& t, double cx, double baseline, double size, Colour c,
            bool bold = false) const {
    const double w = canvas.textWidth(t, kFace, size * scale, bold);
    canvas.fillText(t, X(cx) - w / 2, Y(baseline), kFace, size * scale, bold, c);
  }
  // Points (x, y, ...) around (cx, cy).
  void shape(std::vector<double> points, double cx, double cy, bool closed, double line,
             Colour c) const {
    for (size_t i = 0; i + 1 < points.size(); i += 2) {
      points[i] = X(cx + points[i]);
      points[i + 1] = Y(cy + points[i + 1]);
    }
    canvas.path(points, closed, line * scale, c);
  }
};

void drawShift(const Pen& pen, double cx, double cy, bool on, const Palette& p) {
  const std::vector<double> arrow = {0, -9, 9, 0, 4.5, 0, 4.5, 8, -4.5, 8, -4.5, 0, -9, 0};
  pen.shape(arrow, cx, cy, true, on ? 0 : 1.5, p.text);
}

void drawDelete(const Pen& pen, double cx, double cy, const Palette& p) {
  pen.shape({-12, 0, -5, -8, 11, -8, 11, 8, -5, 8}, cx, cy, true, 1.5, p.text);
  pen.shape({-1, -3.5, 6, 3.5}, cx, cy, false, 1.5, p.text);
  pen.shape({-1, 3.5, 6, -3.5}, cx, cy, false, 1.5, p.text);
}

// The strip under the keys: the emoji key at the left, dictation at the right.
void drawStrip(const Pen& pen, double width, double cy, const Palette& p) {
  const double ex = 31, mx = width - 31;
  pen.canvas.strokeArc(pen.X(ex), pen.Y(cy), 12 * pen.scale, 0, 2 * M_PI, 1.6 * pen.scale, p.text);
  pen.canvas.fillSector(pen.X(ex - 4), pen.Y(cy - 3.5), 1.6 * pen.scale, 0, 2 * M_PI, p.text);
  pen.canvas.fillSector(pen.X(ex + 4), pen.Y(cy - 3.5), 1.6 * pen.scale, 0, 2 * M_PI, p.text);
  pen.canvas.strokeArc(pen.X(ex), pen.Y(cy), 6.5 * pen.scale, 0.2 * M_PI, 0.8 * M_PI,
                       1.6 * pen.scale, p.text);
  pen.canvas.strokeRoundedRect(pen.X(mx - 3.5), pen.Y(cy - 12), 7 * pen.scale, 14 * pen.scale,
                               3.5 * pen.scale, 1.6 * pen.scale, p.text);
  pen.canvas.strokeArc(pen.X(mx), pen.Y(cy - 3), 7 * pen.scale, 0, M_PI, 1.6 * pen.scale, p.text);
  pen.shape({0, 4, 0, 9}, mx, cy, false, 1.6, p.text);
}

// A pad's digit, and the letters under it.
void drawPadFace(const Pen& pen, const Key& k, const Palette& p) {
  const double cx = k.x + k.width / 2, cy = k.y + k.height / 2;
  pen.text(k.label, cx, cy + (k.letters.empty() ? 9 : 4), 25, p.text);
  if (!k.letters.empty()) pen.text(k.letters, cx, cy + 16, 10, p.text, true);
}

void drawKey(const Pen& pen, const Key& k, const KeyboardLook& look, const Palette& p) {
  const bool plain = k.role == KeyRole::kCharacter || k.role == KeyRole::kSpace ||
                     k.role == KeyRole::kPad || (k.role == KeyRole::kShift && look.shift);
  const Colour fill = k.role == KeyRole::kReturn && look.action ? p.blue
                      : plain                                   ? p.key
                                                                : p.function;
  pen.rect(k.x, k.y + 1, k.width, k.height, kKeyRadius, p.shadow);
  pen.rect(k.x, k.y, k.width, k.height, kKeyRadius, fill);
  const double cx = k.x + k.width / 2, cy = k.y + k.height / 2;
  switch (k.role) {
    case KeyRole::kShift:
      return drawShift(pen, cx, cy, look.shift, p);
    case KeyRole::kDelete:
      return drawDelete(pen, cx, cy, p);
    case KeyRole::kPad:
      return drawPadFace(pen, k, p);
    case KeyRole::kCharacter:
      if (k.label.size() == 1 && std::isalpha(static_cast<unsigned char>(k.label[0])))
        return pen.text(k.label, cx, cy + 8, 23, p.text);
      return pen.text(k.label, cx, cy + 7, k.label.size() > 1 ? 17 : 22, p.text);
    case KeyRole::kReturn:
      return pen.text(k.label, cx, cy + 6, 16, look.action ? Colour{1, 1, 1} : p.text);
    default:
      return pen.text(k.label, cx, cy + 6, 16, p.text);
  }
}

// A key's pop-up: the key grown upward into a balloon that shows its
// character large, as the finger presses it.
void drawPopup(const Pen& pen, const Key& k, double width, const Palette& p) {
  const double bw = k.width + 22, bh = 56;
  const double bx = std::clamp(k.x + k.width / 2 - bw / 2, 1.0, width - 1 - bw);
  const double by = k.y - bh + 2;
  pen.rect(bx - 0.5, by - 0.5, bw + 1, bh + 1, 9, p.mark);
  pen.rect(k.x - 0.5, k.y, k.width + 1, k.height + 1.5, kKeyRadius, p.mark);
  pen.rect(bx, by, bw, bh, 9, p.key);
  pen.rect(k.x, k.y - 10, k.width, k.height + 11, kKeyRadius, p.key);
  pen.text(k.label, bx + bw / 2, by + 40, 36, p.text);
}

}  // namespace

double keyboardHeightCss(KeyboardLayout layout, double homeInsetCss) {
  return (isPad(layout) ? 0 : kPredictiveBarCss) + kKeyRowsCss + kKeyboardStripCss + homeInsetCss;
}

KeyboardLook keyboardLook(const std::string& kind, const std::string& language, bool shift,
                          const std::string& enterKeyHint) {
  KeyboardLook look;
  look.layout = kind == "email"     ? KeyboardLayout::kEmail
                : kind == "url"     ? KeyboardLayout::kUrl
                : kind == "numeric" ? KeyboardLayout::kNumberPad
                : kind == "tel"     ? KeyboardLayout::kPhonePad
                : kind == "decimal" ? KeyboardLayout::kDecimalPad
                                    : KeyboardLayout::kLetters;
  const bool french = language.rfind("fr", 0) == 0 && language != "fr-CA";
  look.order = french                         ? LetterOrder::kAzerty
               : language.rfind("de", 0) == 0 ? LetterOrder::kQwertz
                                              : LetterOrder::kQwerty;
  look.shift = shift && look.layout == KeyboardLayout::kLetters;
  const Words& words = wordsFor(language);
  look.spaceLabel = words.space;
  look.returnLabel = returnLabel(words, enterKeyHint, &look.action);
  // Most of Europe and South America write decimals with a comma.
  for (const char* comma : {"pt", "fr", "de", "es", "it", "nl", "ru", "pl", "tr", "sv", "da"})
    if (language.rfind(comma, 0) == 0) look.comma = true;
  return look;
}

std::vector<Key> keyboardKeys(const KeyboardLook& look, double widthCss) {
  std::vector<Key> keys;
  if (isPad(look.layout))
    padKeys(look, widthCss, keys);
  else
    letterKeys(look, widthCss, keys);
  return keys;
}

std::optional<Key> keyFor(const std::vector<Key>& keys, const std::string& character) {
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  for (const Key& k : keys)
    if ((k.role == KeyRole::kCharacter || k.role == KeyRole::kPad ||
         k.role == KeyRole::kFunction) &&
        lower(k.label) == lower(character))
      return k;
  return std::nullopt;
}

void KeyboardTimeline::set(double seconds, const std::optional<KeyboardLook>& look) {
  if (changes_.empty() ? !look : changes_.back().look == look) return;
  changes_.push_back({seconds, look});
}

void KeyboardTimeline::press(double seconds, const std::string& character) {
  presses_.emplace_back(seconds, character);
}

double keyboardRise(double elapsed) {
  const double t = std::clamp(elapsed / kKeyboardSlideSeconds, 0.0, 1.0);
  return 1 - std::pow(1 - t, 3);
}

KeyboardTimeline::Moment KeyboardTimeline::at(double seconds) const {
  auto after = std::upper_bound(changes_.begin(), changes_.end(), seconds,
                                [](double s, const Change& c) { return s < c.seconds; });
  if (after == changes_.begin()) return {};
  const size_t i = static_cast<size_t>(after - changes_.begin()) - 1;
  Moment m;
  if (!changes_[i].look) {
    // Going down from wherever its rise had got to.
    size_t up = i - 1;
    while (up > 0 && changes_[up - 1].look) --up;
    const double reached = keyboardRise(changes_[i].seconds - changes_[up].seconds);
    m.look = changes_[i - 1].look;
    m.raised = reached * (1 - keyboardRise(seconds - changes_[i].seconds));
    return m;
  }
  size_t up = i;
  while (up > 0 && changes_[up - 1].look) --up;
  m.look = changes_[i].look;
  m.raised = keyboardRise(seconds - changes_[up].seconds);
  for (auto p = presses_.rbegin(); p != presses_.rend(); ++p)
    if (p->first <= seconds + 1e-9) {
      if (seconds < p->first + kKeyPopSeconds - 1e-9) m.popped = p->second;
      break;
    }
  return m;
}

KeyboardPicture::KeyboardPicture(double widthCss, double scale, bool dark, double homeInsetCss)
    : widthCss_(widthCss), scale_(scale), homeInset_(homeInsetCss), dark_(dark) {}

const graphics::Image* KeyboardPicture::rendered(const KeyboardLook& look) {
  graphics::ImageRef& image = rendered_[look];
  if (image) return image.get();
  const int width = static_cast<int>(std::lround(widthCss_ * scale_));
  const int height =
      static_cast<int>(std::lround(keyboardHeightCss(look.layout, homeInset_) * scale_));
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
  auto canvas = graphics::Canvas::overMemory(pixels.data(), width, height, 4 * width);
  if (!canvas) return nullptr;
  const Palette& p = palette(dark_);
  canvas->fillRoundedRect(0, 0, width, height, 0, p.back, true);
  const Pen pen{*canvas, 0, 0, scale_};
  const bool pad = isPad(look.layout);
  if (!pad)
    for (double third : {widthCss_ / 3, 2 * widthCss_ / 3})
      pen.rect(third - 0.5, 12, 1, 20, 0, p.mark);
  for (const Key& k : keyboardKeys(look, widthCss_)) drawKey(pen, k, look, p);
  if (!pad) drawStrip(pen, widthCss_, kPredictiveBarCss + kKeyRowsCss + 17, p);
  canvas->flush();
  image = graphics::Image::fromPixels(width, height, pixels.data(), 4 * width);
  return image.get();
}

void KeyboardPicture::draw(graphics::Canvas& canvas, const KeyboardTimeline& timeline,
                           double seconds, double left, double bottom) {
  const KeyboardTimeline::Moment m = timeline.at(seconds);
  if (!m.look || m.raised <= 0) return;
  const graphics::Image* image = rendered(*m.look);
  if (!image) return;
  const int shown = static_cast<int>(std::lround(image->height() * m.raised));
  if (shown <= 0) return;
  const double top = bottom - shown;
  if (shown >= image->height()) {
    canvas.drawImage(*image, left, top, image->width(), image->height());
  } else if (auto part = graphics::Image::fromPixels(image->width(), shown, image->row(0),
                                                     image->stride())) {
    canvas.drawImage(*part, left, top, part->width(), part->height());
  }
  if (!m.popped) return;
  const std::vector<Key> keys = keyboardKeys(*m.look, widthCss_);
  std::optional<Key> key = keyFor(keys, *m.popped);
  // A key still below the screen's edge as the keyboard rises shows nothing.
  if (!key || top + (key->y + key->height) * scale_ > bottom + 0.5) return;
  const Pen pen{canvas, left, top, scale_};
  // A pad's key darkens under the finger where a letter's pops up.
  if (key->role == KeyRole::kPad) {
    pen.rect(key->x, key->y, key->width, key->height, kKeyRadius, palette(dark_).function);
    return drawPadFace(pen, *key, palette(dark_));
  }
  key->label = *m.popped;
  drawPopup(pen, *key, widthCss_, palette(dark_));
}

}  // namespace vuz
