#include "vuzizeri/picture/pickers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <optional>

namespace vuz {

namespace {

using graphics::Canvas;
using graphics::Colour;

constexpr char kFamily[] = "system-ui";
constexpr double kMargin = 8;           // between the card and the field, or the view's edge
constexpr double kShadow = 24;          // room around the card for its shadow
constexpr double kRowHeight = 44;       // a menu's row, a calendar's day
constexpr double kMenuWidth = 250;      // UIMenu's width for short rows
constexpr double kCorner = 13;          // a menu's corners
constexpr double kWheelRow = 34;        // a wheel's row
constexpr int kWheelRows = 5;           // rows a wheel shows
constexpr double kCalendarTop = 56;     // the month's line and the weekdays'
constexpr double kPickerGrowth = 0.15;  // how much smaller it is as it starts to open

Colour blue(bool dark) { return dark ? Colour{0.04, 0.52, 1} : Colour{0, 0.48, 1}; }
Colour label(bool dark) { return dark ? Colour{1, 1, 1} : Colour{0, 0, 0}; }
Colour secondary(bool dark) {
  return dark ? Colour{0.92, 0.92, 0.96, 0.3} : Colour{0.24, 0.24, 0.26, 0.3};
}

struct Date {
  int year = 2026, month = 1, day = 1;
};

std::optional<Date> dateOf(const std::string& iso) {
  Date d;
  if (std::sscanf(iso.c_str(), "%d-%d-%d", &d.year, &d.month, &d.day) != 3 || d.month < 1 ||
      d.month > 12)
    return std::nullopt;
  return d;
}

// Days since 1970-01-01 (Howard Hinnant's days_from_civil).
int64_t daysFrom(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

int daysIn(int year, int month) {
  return static_cast<int>(daysFrom(month == 12 ? year + 1 : year, month == 12 ? 1 : month + 1, 1) -
                          daysFrom(year, month, 1));
}

// Sunday first, as en-US writes weeks.
int firstWeekday(const Date& d) {
  return static_cast<int>(((daysFrom(d.year, d.month, 1) % 7) + 11) % 7);
}

// The month a calendar shows: the one being picked, else the field's, else
// this one.
Date shownMonth(const Picker& p) {
  if (auto d = dateOf(p.chosen)) return *d;
  if (auto d = dateOf(p.value)) return *d;
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  gmtime_r(&now, &t);
  return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday};
}

int weeksOf(const Date& d) { return (firstWeekday(d) + daysIn(d.year, d.month) + 6) / 7; }

// The card's size before it is placed.
std::pair<double, double> cardSize(const Picker& p, double viewWidth, double viewHeight) {
  const double widest = viewWidth - 2 * kMargin;
  switch (p.kind) {
    case Picker::Kind::kMenu: {
      const double rows = std::max<double>(
          1, std::min<double>(static_cast<double>(p.options.size()),
                              std::floor((viewHeight - 2 * kMargin) / kRowHeight)));
      return {std::min(kMenuWidth, widest), rows * kRowHeight};
    }
    case Picker::Kind::kDate:
      return {std::min(7 * kRowHeight + 16, widest),
              kCalendarTop + weeksOf(shownMonth(p)) * kRowHeight + 12};
    case Picker::Kind::kTime:
      return {std::min(240.0, widest), kWheelRows * kWheelRow + 16};
  }
  return {0, 0};
}

// A row's text cut with "…" to `width` px.
std::string fitted(Canvas& canvas, const std::string& text, double size, double width) {
  if (canvas.textWidth(text, kFamily, size, false) <= width) return text;
  std::string cut = text;
  while (!cut.empty() && canvas.textWidth(cut + "…", kFamily, size, false) > width) {
    cut.pop_back();
    while (!cut.empty() && (static_cast<unsigned char>(cut.back()) & 0xC0) == 0x80) cut.pop_back();
  }
  return cut + "…";
}

void centredText(Canvas& c, const std::string& text, double cx, double baseline, double size,
                 bool bold, Colour colour) {
  c.fillText(text, cx - c.textWidth(text, kFamily, size, bold) / 2, baseline, kFamily, size, bold,
             colour);
}

// The first option a menu shows: all of them when they fit, else those
// around the row it is to show.
int firstRow(const Picker& p, const PickerCard& card) {
  const int rows = static_cast<int>(std::lround(card.height / kRowHeight));
  const int count = static_cast<int>(p.options.size());
  return count <= rows ? 0 : std::clamp(p.shows - rows / 2, 0, count - rows);
}

void drawMenu(Canvas& c, const Picker& p, const PickerCard& card, double s, bool pressed,
              bool dark) {
  const Colour separator = dark ? Colour{0.33, 0.33, 0.35, 0.6} : Colour{0.24, 0.24, 0.26, 0.18};
  const size_t rows = static_cast<size_t>(std::lround(card.height / kRowHeight));
  const size_t first = static_cast<size_t>(firstRow(p, card));
  for (size_t row = 0; row < rows && first + row < p.options.size(); ++row) {
    const size_t i = first + row;
    const double y = static_cast<double>(row) * kRowHeight * s;
    if (pressed && static_cast<int>(i) == p.pressed)
      c.fillRoundedRect(0, y, card.width * s, kRowHeight * s,
                        row == 0 || row + 1 == rows ? kCorner * s : 0,
                        dark ? Colour{1, 1, 1, 0.12} : Colour{0, 0, 0, 0.08});
    if (row > 0) c.fillRoundedRect(0, y, card.width * s, 0.5 * s, 0, separator);
    if (static_cast<int>(i) == p.checked) {
      const double x = 16 * s, m = y + kRowHeight / 2 * s;
      c.strokeLine({x, m, x + 4.5 * s, m + 4.5 * s, x + 12 * s, m - 6 * s}, 2 * s, label(dark));
    }
    const std::string text = fitted(c, p.options[i], 17 * s, (card.width - 52) * s);
    c.fillText(text, 40 * s, y + 28 * s, kFamily, 17 * s, false, label(dark));
  }
}

void chevron(Canvas& c, double x, double y, double s, bool right, Colour colour) {
  const double w = right ? 5 * s : -5 * s;
  c.strokeLine({x, y - 6 * s, x + w, y, x, y + 6 * s}, 2.2 * s, colour);
}

void drawCalendar(Canvas& c, const Picker& p, const PickerCard& card, double s, bool pressed,
                  bool dark) {
  static const std::array<const char*, 12> kMonths = {
      "January", "February", "March",     "April",   "May",      "June",
      "July",    "August",   "September", "October", "November", "December"};
  static const std::array<const char*, 7> kDays = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
  const Date month = shownMonth(p);
  const std::string title =
      std::string(kMonths[static_cast<size_t>(month.month - 1)]) + " " + std::to_string(month.year);
  c.fillText(title, 16 * s, 30 * s, kFamily, 17 * s, true, label(dark));
  chevron(c, (22 + c.textWidth(title, kFamily, 17 * s, true) / s) * s, 24 * s, s, true, blue(dark));
  chevron(c, (card.width - 56) * s, 24 * s, s, false, blue(dark));
  chevron(c, (card.width - 20) * s, 24 * s, s, true, blue(dark));
  const double cell = (card.width - 16) / 7;
  for (size_t d = 0; d < 7; ++d)
    centredText(c, kDays[d], (8 + cell * (static_cast<double>(d) + 0.5)) * s, 52 * s, 13 * s, true,
                secondary(dark));
  std::optional<Date> selected = dateOf(pressed && !p.chosen.empty() ? p.chosen : p.value);
  if (selected && (selected->year != month.year || selected->month != month.month))
    selected.reset();
  const int first = firstWeekday(month);
  for (int day = 1; day <= daysIn(month.year, month.month); ++day) {
    const int at = first + day - 1;
    const double cx = (8 + cell * (at % 7 + 0.5)) * s;
    const double cy = (kCalendarTop + kRowHeight * (at / 7 + 0.5)) * s;
    const bool isSelected = selected && selected->day == day;
    if (isSelected) {
      Colour tint = blue(dark);
      tint.alpha = dark ? 0.25 : 0.12;
      c.fillSector(cx, cy, 20 * s, 0, 2 * M_PI, tint);
    }
    centredText(c, std::to_string(day), cx, cy + 7 * s, (isSelected ? 22 : 20) * s, isSelected,
                isSelected ? blue(dark) : label(dark));
  }
}

void drawWheels(Canvas& c, const Picker& p, const PickerCard& card, double s, bool pressed,
                bool dark) {
  int hour = 9, minute = 41;
  std::sscanf((pressed && !p.chosen.empty() ? p.chosen : p.value).c_str(), "%d:%d", &hour, &minute);
  const double mid = 8 + kWheelRows / 2 * kWheelRow;
  c.fillRoundedRect(8 * s, mid * s, (card.width - 16) * s, kWheelRow * s, 8 * s,
                    dark ? Colour{0.46, 0.46, 0.5, 0.24} : Colour{0.46, 0.46, 0.5, 0.12});
  const std::array<double, 3> columns = {card.width * 0.3, card.width * 0.5, card.width * 0.72};
  for (int row = -kWheelRows / 2; row <= kWheelRows / 2; ++row) {
    const int h = ((hour % 12 + row) % 12 + 12) % 12;
    const int m = ((minute + row) % 60 + 60) % 60;
    char minutes[8];
    std::snprintf(minutes, sizeof minutes, "%02d", m);
    Colour colour = label(dark);
    colour.alpha = row == 0 ? 1 : row == 1 || row == -1 ? 0.45 : 0.2;
    const double size = (row == 0 ? 21 : 19) * s;
    const double baseline = (mid + row * kWheelRow + kWheelRow / 2 + 7) * s;
    centredText(c, std::to_string(h == 0 ? 12 : h), columns[0] * s, baseline, size, false, colour);
    centredText(c, minutes, columns[1] * s, baseline, size, false, colour);
    // Two rows only: AM above PM.
    const int pm = hour >= 12 ? 0 : 1;
    if (row == pm - 1 || row == pm)
      centredText(c, row == pm ? "PM" : "AM", columns[2] * s, baseline, size, false, colour);
  }
}

}  // namespace

PickerCard pickerCard(const Picker& p, double viewWidth, double viewHeight) {
  const auto [width, height] = cardSize(p, viewWidth, viewHeight);
  PickerCard card{0, 0, width, height};
  card.x = std::clamp(p.kind == Picker::Kind::kMenu ? p.left : p.left + p.width / 2 - width / 2,
                      kMargin, std::max(kMargin, viewWidth - kMargin - width));
  const double below = p.top + p.height + kMargin, above = p.top - kMargin - height;
  card.y = below + height <= viewHeight - kMargin ? below
           : above >= kMargin                     ? above
                              : std::max(kMargin, viewHeight - kMargin - height);
  return card;
}

std::pair<double, double> pickerPoint(const Picker& p, int index, double viewWidth,
                                      double viewHeight) {
  const PickerCard card = pickerCard(p, viewWidth, viewHeight);
  switch (p.kind) {
    case Picker::Kind::kMenu:
      return {card.x + card.width / 2, card.y + (index - firstRow(p, card) + 0.5) * kRowHeight};
    case Picker::Kind::kDate: {
      const int at = firstWeekday(shownMonth(p)) + index - 1;
      const double cell = (card.width - 16) / 7;
      return {card.x + 8 + cell * (at % 7 + 0.5),
              card.y + kCalendarTop + kRowHeight * (at / 7 + 0.5)};
    }
    case Picker::Kind::kTime:
      return {card.x + card.width / 2, card.y + 8 + (kWheelRows / 2 + 0.5) * kWheelRow};
  }
  return {0, 0};
}

bool pickerShows(const Picker& p, int index, double viewWidth, double viewHeight) {
  const PickerCard card = pickerCard(p, viewWidth, viewHeight);
  switch (p.kind) {
    case Picker::Kind::kMenu: {
      const int first = firstRow(p, card);
      return index >= first &&
             index < first + static_cast<int>(std::lround(card.height / kRowHeight));
    }
    case Picker::Kind::kDate: {
      const std::optional<Date> chosen = dateOf(p.chosen), shown = dateOf(p.value);
      return !shown || (chosen && chosen->year == shown->year && chosen->month == shown->month);
    }
    case Picker::Kind::kTime:
      return true;
  }
  return false;
}

double pickerOpacity(const Picker& p, double seconds) {
  if (seconds < p.opened) return 0;
  const double in = std::min(1.0, (seconds - p.opened) / kPickerOpenSeconds);
  const double out = seconds < p.closed ? 1 : 1 - (seconds - p.closed) / kPickerCloseSeconds;
  return std::clamp(std::min(in, out), 0.0, 1.0);
}

void PickerPictures::draw(Canvas& canvas, const std::vector<Picker>& pickers, double seconds,
                          double left, double top, double viewWidth, double viewHeight,
                          double scale, bool dark) {
  for (size_t i = 0; i < pickers.size(); ++i) {
    const Picker& p = pickers[i];
    const double opacity = pickerOpacity(p, seconds);
    if (opacity <= 0) continue;
    const bool pressed = seconds >= p.pressedAt;
    const PickerCard card = pickerCard(p, viewWidth, viewHeight);
    Drawn& drawn = drawn_[{i, pressed}];
    if (!drawn.image) {
      const double m = kShadow * scale;
      const int w = static_cast<int>(std::ceil(card.width * scale + 2 * m));
      const int h = static_cast<int>(std::ceil(card.height * scale + 2 * m));
      std::vector<uint8_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h) * 4, 0);
      auto c = Canvas::overMemory(pixels.data(), w, h, w * 4);
      if (!c) continue;
      // A soft shadow: rings fainter as they widen.
      for (int ring = 12; ring >= 1; --ring) {
        const double grow = ring * 1.5 * scale;
        c->fillRoundedRect(m - grow, m - grow + 6 * scale, card.width * scale + 2 * grow,
                           card.height * scale + 2 * grow, (kCorner + ring * 1.5) * scale,
                           {0, 0, 0, dark ? 0.04 : 0.012});
      }
      c->fillRoundedRect(m, m, card.width * scale, card.height * scale, kCorner * scale,
                         dark ? Colour{0.15, 0.15, 0.16, 1} : Colour{0.97, 0.97, 0.97, 1}, true);
      auto inside = Canvas::overMemory(
          pixels.data() + static_cast<ptrdiff_t>(m) * w * 4 + 4 * static_cast<ptrdiff_t>(m),
          static_cast<int>(card.width * scale), static_cast<int>(card.height * scale), w * 4);
      if (!inside) continue;
      if (p.kind == Picker::Kind::kMenu) drawMenu(*inside, p, card, scale, pressed, dark);
      if (p.kind == Picker::Kind::kDate) drawCalendar(*inside, p, card, scale, pressed, dark);
      if (p.kind == Picker::Kind::kTime) drawWheels(*inside, p, card, scale, pressed, dark);
      inside->flush();
      c->flush();
      drawn.image = graphics::Image::fromPixels(w, h, pixels.data(), w * 4);
      drawn.margin = m;
    }
    // It grows out of the field as it opens, as UIKit's menus do.
    const double grown =
        1 - kPickerGrowth *
                std::pow(1 - std::clamp((seconds - p.opened) / kPickerOpenSeconds, 0.0, 1.0), 2);
    const double anchorY = card.y >= p.top ? card.y : card.y + card.height;
    if (drawn.image)
      canvas.blendImage(*drawn.image, std::round(left + card.x * scale - drawn.margin),
                        std::round(top + card.y * scale - drawn.margin), opacity, grown,
                        left + (card.x + card.width / 2) * scale, top + anchorY * scale);
  }
}

}  // namespace vuz
