// The recorder's own drawing: the status bar's layout and shade, the
// phone around the screen, for every device in the table, and captions.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>

#include "common/number_syntax.h"
#include "platform/graphics/canvas.h"
#include "test_runs.h"
#include "vuzizeri/command_line/devices.h"
#include "vuzizeri/picture/captions.h"
#include "vuzizeri/picture/keyboard.h"
#include "vuzizeri/picture/phone_frame.h"
#include "vuzizeri/picture/status_bar.h"

namespace vuz {
namespace {

std::vector<Device> deviceTable() {
  return *parseDevices(test_runs::slurp(SOURCE_DIR "/vuzizeri/data/aparelhos.tsv"));
}

// Where one part of the bar (0 the time, 1 signal, 2 Wi-Fi, 3 the battery)
// leaves ink when drawn alone, dark on white, on a canvas of `height` rows.
struct Ink {
  int left = INT_MAX, right = -1, top = INT_MAX, bottom = -1;
};
Ink inkOf(StatusBarLayout l, int part, int width, int height) {
  double* const xs[] = {&l.timeCentreX, &l.signalX, &l.wifiX, &l.batteryX};
  for (int i = 0; i < 4; ++i)
    if (i != part) *xs[i] = -1e5;
  std::vector<uint8_t> pixels(4 * static_cast<size_t>(width * height), 255);
  auto canvas = graphics::Canvas::overMemory(pixels.data(), width, height, 4 * width);
  drawStatusBar(*canvas, l, BarShade::kDark, "9:41");
  canvas->flush();
  Ink ink;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (pixels[4 * static_cast<size_t>(y * width + x) + 1] < 230)
        ink = {std::min(ink.left, x), std::max(ink.right, x), std::min(ink.top, y), y};
  return ink;
}

// On every device the bar fits its band: the time and the icons, measured
// as drawn, inside the screen and level with each other, clear of the
// cutout and of each other.
TEST(StatusBar, LaidOutForEveryDevice) {
  for (const Device& d : deviceTable()) {
    ASSERT_TRUE(d.shape) << d.name;
    const double scale = *parseScale(d.scale);
    const StatusBarLayout l = statusBarLayout(static_cast<double>(d.cssW),
                                              static_cast<double>(d.safeTop), scale, *d.shape);
    ASSERT_TRUE(l.fits) << d.name;
    const double width = static_cast<double>(d.cssW) * scale, band = d.safeTop * scale;
    std::array<Ink, 4> ink;
    for (int part = 0; part < 4; ++part) {
      ink[part] = inkOf(l, part, static_cast<int>(width), 2 * static_cast<int>(band));
      const Ink& i = ink[part];
      EXPECT_TRUE(i.left >= 0 && i.right < width && i.top > 0 && i.bottom < band)
          << d.name << ", part " << part << " outside the band";
      EXPECT_NEAR((i.top + i.bottom) / 2.0, l.centreY, 2 * scale) << d.name << ", part " << part;
    }
    EXPECT_LT(ink[1].right, ink[2].left) << d.name << ": signal, Wi-Fi";
    EXPECT_LT(ink[2].right, ink[3].left) << d.name << ": Wi-Fi, battery";
    if (d.shape->cutout == ScreenShape::Cutout::kNone) {
      EXPECT_DOUBLE_EQ(l.timeCentreX, width / 2) << d.name;
      EXPECT_LT(ink[2].right, ink[0].left) << d.name << ": Wi-Fi, the time";
      EXPECT_LT(ink[0].right, ink[3].left) << d.name << ": the time, battery";
      continue;
    }
    const double cutLeft = (width - d.shape->cutoutWidth * scale) / 2;
    const double cutRight = width - cutLeft;
    EXPECT_LT(ink[0].right, cutLeft) << d.name << ": the time";
    EXPECT_GT(ink[1].left, cutRight) << d.name << ": the icons";
    EXPECT_NEAR(l.centreY, (d.shape->cutoutTop + std::max(d.shape->cutoutHeight, 20.0) / 2) * scale,
                1e-9)
        << d.name;
  }
}

// Dark glyphs on light bands, light on dark ones, and in between the shade
// stays as it was, so that a band easing through the middle never flickers.
TEST(StatusBar, ShadeFollowsTheBandWithHysteresis) {
  EXPECT_DOUBLE_EQ(bandLightness({1, 1, 1, 1, 1, 1}), 1);
  EXPECT_NEAR(bandLightness({0, 1, 0}), 0.7152, 1e-12);
  std::optional<BarShade> shade;
  std::vector<BarShade> seen;
  for (double lightness : {0.55, 0.45, 0.39, 0.5, 0.59, 0.61, 0.41, 0.2}) {
    shade = barShade(shade, lightness);
    seen.push_back(*shade);
  }
  using enum BarShade;
  EXPECT_EQ(seen,
            (std::vector<BarShade>{kDark, kDark, kLight, kLight, kLight, kDark, kDark, kLight}));
}

// The frame grows the video by the bezel and margin on every side; the
// phone's picture is the background outside it and opaque over its body and
// cutout; the page shows inside the rounded screen but under the cutout.
TEST(PhoneFrame, LayoutAndOverlayForEveryDevice) {
  for (const Device& d : deviceTable()) {
    const double scale = *parseScale(d.scale);
    const int64_t w = static_cast<int64_t>(static_cast<double>(d.cssW) * scale);
    const int64_t h = static_cast<int64_t>(static_cast<double>(d.cssH) * scale);
    const FrameLayout l = frameLayout(w, h, scale, *d.shape);
    EXPECT_EQ(l.width, w + 2 * l.screenX) << d.name;
    EXPECT_EQ(l.height, h + 2 * l.screenY) << d.name;
    EXPECT_GT(l.bezel, 0) << d.name;
    const FrameArt art = frameArt(l, {0, 0, 255, 0});  // on nothing
    ASSERT_TRUE(art.overlay && art.screen) << d.name;
    // The phone's alpha and the page's share at a point.
    auto at = [&](int64_t x, int64_t y) {
      return std::make_pair(int{art.overlay->row(static_cast<int>(y))[4 * x + 3]},
                            int{art.screen->row(static_cast<int>(y))[4 * x + 3]});
    };
    EXPECT_EQ(at(0, 0), std::make_pair(0, 0)) << d.name << ": the surround";
    EXPECT_EQ(at(l.screenX - static_cast<int64_t>(l.bezel) / 2, l.height / 2),
              std::make_pair(255, 0))
        << d.name << ": the bezel";
    EXPECT_EQ(at(l.width / 2, l.height / 2), std::make_pair(0, 255)) << d.name << ": the screen";
    EXPECT_EQ(at(l.screenX, l.screenY).second, d.shape->cornerRadius > 1 ? 0 : 255)
        << d.name << ": the screen's corner";
    const int64_t cutoutMiddle =
        l.screenY + static_cast<int64_t>((d.shape->cutoutTop + d.shape->cutoutHeight / 2) * scale);
    EXPECT_EQ(at(l.width / 2, cutoutMiddle), d.shape->cutout == ScreenShape::Cutout::kNone
                                                 ? std::make_pair(0, 255)
                                                 : std::make_pair(255, 0))
        << d.name << ": the cutout";
  }
}

// A caption of one unbroken 100 KB word is cut to what a screen can hold:
// its plate leaves the top of the page showing, and it is laid out in a
// moment rather than for minutes a frame.
TEST(Captions, AnEndlessWordIsCutToWhatTheScreenHolds) {
  std::vector<uint8_t> pixels(4 * 390 * 844, 255);
  auto canvas = graphics::Canvas::overMemory(pixels.data(), 390, 844, 4 * 390);
  ASSERT_TRUE(canvas);
  const Caption word{.text = std::string(100000, 'a'), .from = 0, .to = 1};
  drawCaptions(*canvas, {word}, 0.5, 0, 0, 390, 844, 1, 20);
  canvas->flush();
  EXPECT_EQ(pixels[4 * 390 * 10 + 4 * 195], 255) << "the plate covers the page";
}

// The keys a field asks for, in the language's order; each row of letters
// and the bottom row inside the width, key after key without overlap.
TEST(Keyboard, KeysForTheFieldAndTheLanguage) {
  auto row = [](const KeyboardLook& look, double y) {
    std::string labels;
    double right = 0;
    std::vector<Key> keys = keyboardKeys(look, 390);
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) { return a.x < b.x; });
    for (const Key& k : keys)
      if (k.y == y && k.role != KeyRole::kShift && k.role != KeyRole::kDelete) {
        EXPECT_GE(k.x, right) << k.label;
        right = k.x + k.width;
        EXPECT_LE(right, 390) << k.label;
        labels += k.label + (k.label.size() > 1 ? " " : "");
      }
    return labels;
  };
  const double first = kPredictiveBarCss + 6, last = first + 3 * 54;
  EXPECT_EQ(row(keyboardLook("text", "en-US", true, ""), first), "QWERTYUIOP");
  EXPECT_EQ(row(keyboardLook("text", "fr-FR", false, ""), first), "azertyuiop");
  EXPECT_EQ(row(keyboardLook("text", "fr-CA", false, ""), first), "qwertyuiop");
  EXPECT_EQ(row(keyboardLook("text", "de-DE", false, ""), first + 2 * 54), "yxcvbnm");
  EXPECT_EQ(row(keyboardLook("email", "en-US", true, ""), first), "qwertyuiop") << "no capitals";
  EXPECT_EQ(row(keyboardLook("email", "en-US", false, ""), last), "123 space @.return ");
  EXPECT_EQ(row(keyboardLook("url", "pt-BR", false, "go"), last), "123 ./.com ir ");
  const KeyboardLook pad = keyboardLook("numeric", "en-US", true, "");
  EXPECT_FALSE(keyFor(keyboardKeys(pad, 390), "q"));
  EXPECT_TRUE(keyFor(keyboardKeys(pad, 390), "7"));
  EXPECT_EQ(keyboardHeightCss(pad.layout, 34), 291);
  EXPECT_EQ(keyboardHeightCss(KeyboardLayout::kLetters, 34), 335);
  EXPECT_TRUE(keyFor(keyboardKeys(keyboardLook("decimal", "pt-BR", false, ""), 390), ","));
}

// The keyboard slides up over a quarter second from its field's focus and
// back down from the blur, each key popping up for its press only.
TEST(Keyboard, SlidesAndPopsOnTheTimeline) {
  KeyboardTimeline t;
  EXPECT_FALSE(t.at(1).look);
  const KeyboardLook look = keyboardLook("text", "en-US", false, "");
  t.set(1, look);
  t.set(1.1, look);  // asked again: the same keyboard, no new slide
  t.press(1.3, "k");
  t.set(2, std::nullopt);
  EXPECT_DOUBLE_EQ(t.at(1).raised, 0);
  EXPECT_GT(t.at(1.1).raised, 0.5);
  EXPECT_LT(t.at(1.1).raised, 1);
  EXPECT_DOUBLE_EQ(t.at(1.25).raised, 1);
  EXPECT_EQ(t.at(1.35).popped, "k");
  EXPECT_FALSE(t.at(1.45).popped);
  EXPECT_DOUBLE_EQ(t.at(2).raised, 1);
  EXPECT_LT(t.at(2.1).raised, 0.5);
  EXPECT_DOUBLE_EQ(t.at(2.25).raised, 0);
}

}  // namespace
}  // namespace vuz
