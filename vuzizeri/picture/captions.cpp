#include "vuzizeri/picture/captions.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "common/shown_text.h"

namespace vuz {

namespace {

constexpr char kFamily[] = "system-ui";

bool showsAt(const Caption& c, double seconds) {
  // Frame times are sums of 1/fps: a cue from 0.5 s shows in the frame at 0.5.
  return seconds + 1e-9 >= c.from && seconds + 1e-9 < c.to;
}

std::string timestamp(double seconds, bool vtt) {
  const long long ms = std::llround(seconds * 1000);
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld%c%03lld", ms / 3600000, ms / 60000 % 60,
                ms / 1000 % 60, vtt ? '.' : ',', ms % 1000);
  return text;
}

// WebVTT's text escapes, which also keep a cue's text from reading as the
// arrow of its times.
std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text)
    out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
  return out;
}

// SubRip has no escapes: a word joiner after a '<' or '&' that could open a
// tag or an entity, and inside an arrow, keeps them words.
std::string subRipText(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    const char next = i + 1 < text.size() ? text[i + 1] : ' ';
    const bool opens =
        (text[i] == '<' || text[i] == '&') && (std::isalnum(static_cast<unsigned char>(next)) ||
                                               next == '/' || next == '#' || next == '!');
    const bool arrow = text[i] == '-' && next == '>' && i > 0 && text[i - 1] == '-';
    if (opens || arrow) out += "\u2060";
  }
  return out;
}

}  // namespace

void drawCaptions(graphics::Canvas& canvas, const std::vector<Caption>& captions, double seconds,
                  double left, double top, double width, double height, double scale,
                  double bottomInset) {
  for (const Caption& c : captions) {
    if (c.kind != Caption::Kind::kCaption || !showsAt(c, seconds)) continue;
    // 17 pt white on a dark plate, as a phone's own captions are set.
    const double size = 17 * scale, pad = 10 * scale, margin = 16 * scale;
    const double textWidth = width - 2 * margin - 2 * pad;
    const double textHeight = canvas.paragraph(c.text, 0, 0, textWidth, kFamily, size, false);
    const double plateTop = top + height - (bottomInset + 12) * scale - textHeight - 2 * pad;
    canvas.fillRoundedRect(left + margin, plateTop, width - 2 * margin, textHeight + 2 * pad,
                           10 * scale, {0.08, 0.08, 0.1, 0.78});
    const graphics::Colour white{1, 1, 1, 1};
    canvas.paragraph(c.text, left + margin + pad, plateTop + pad, textWidth, kFamily, size, false,
                     &white);
  }
}

void drawHighlights(graphics::Canvas& canvas, const std::vector<Caption>& captions, double seconds,
                    double left, double top, double width, double height, double scale,
                    double offset, const Camera& camera) {
  const graphics::Colour ring{1, 0.8, 0, 1}, white{1, 1, 1, 1};
  for (const Caption& c : captions) {
    if (c.kind != Caption::Kind::kHighlight || !showsAt(c, seconds)) continue;
    // Where the box shows: a page point p is seen at (p - camera) × zoom
    // from the view's centre.
    const double f = camera.zoom, pad = 6 * scale;
    const double viewX = f == 1 ? c.left : (c.left - camera.x) * f + width / scale / 2;
    const double viewY = f == 1 ? c.top - offset : (c.top - camera.y) * f + height / scale / 2;
    const double x = left + viewX * scale - pad, y = top + viewY * scale - pad;
    const double w = c.width * f * scale + 2 * pad, h = c.height * f * scale + 2 * pad;
    canvas.strokeRoundedRect(x, y, w, h, 8 * scale, 3 * scale, ring);
    if (c.text.empty()) continue;
    // The label below the ring, or above it where there is no room below.
    const double size = 15 * scale, labelPad = 6 * scale, margin = 8 * scale;
    const double textWidth = width - 2 * margin - 2 * labelPad;
    const double textHeight = canvas.paragraph(c.text, 0, 0, textWidth, kFamily, size, true);
    const double plate = textHeight + 2 * labelPad;
    const double below = y + h + margin;
    const double plateTop = below + plate <= top + height ? below : y - margin - plate;
    canvas.fillRoundedRect(left + margin, plateTop, width - 2 * margin, plate, 8 * scale,
                           {0.08, 0.08, 0.1, 0.85});
    canvas.paragraph(c.text, left + margin + labelPad, plateTop + labelPad, textWidth, kFamily,
                     size, true, &white);
  }
}

void drawTitleCards(graphics::Canvas& canvas, const std::vector<Caption>& captions, double seconds,
                    double left, double top, double width, double height, double scale) {
  for (const Caption& c : captions) {
    if (c.kind != Caption::Kind::kTitle || !showsAt(c, seconds)) continue;
    canvas.fillRoundedRect(left, top, width, height, 0, {0.07, 0.07, 0.09, 1}, true);
    const double size = 30 * scale, margin = 32 * scale;
    const double textHeight =
        canvas.paragraph(c.text, 0, 0, width - 2 * margin, kFamily, size, true);
    const graphics::Colour white{1, 1, 1, 1};
    canvas.paragraph(c.text, left + margin, top + (height - textHeight) / 2, width - 2 * margin,
                     kFamily, size, true, &white);
  }
}

std::vector<Caption> withChapterEnds(std::vector<Caption> captions, double end) {
  Caption* open = nullptr;
  for (Caption& c : captions) {
    if (c.kind != Caption::Kind::kChapter) continue;
    if (open) open->to = c.from;
    open = &c;
  }
  if (open) open->to = std::max(open->from, end);
  return captions;
}

std::string cueFile(const std::vector<Caption>& captions, bool vtt) {
  std::string text = vtt ? "WEBVTT\n" : "";
  int n = 0;
  for (const Caption& c : captions) {
    if (c.kind == Caption::Kind::kChapter || c.kind == Caption::Kind::kHighlight) continue;
    // One line of text: a blank one would end the cue.
    const std::string words = plainText(c.text);
    if (words.find_first_not_of(' ') == std::string::npos) continue;
    text += vtt ? "\n" : (n ? "\n" : "");
    text += std::to_string(++n) + "\n" + timestamp(c.from, vtt) + " --> " + timestamp(c.to, vtt) +
            "\n" + (vtt ? escaped(words) : subRipText(words)) + "\n";
  }
  return text;
}

}  // namespace vuz
