#pragma once

#include <string>
#include <vector>

#include "platform/graphics/canvas.h"

// Words on the screen, from the storyboard: captions over the lower part of
// the page, on a plate that keeps them readable on any page, and title cards
// over the whole screen.
namespace vuz {

// How far above the screen's bottom a caption stays: the home indicator's
// area on a phone without a button.
inline constexpr double kHomeIndicatorCss = 34;
// The chapter before the storyboard's first, when that one starts this much
// later or more.
inline constexpr char kOpeningChapter[] = "Início";
inline constexpr double kOpeningChapterSeconds = 0.1;

// The storyboard's camera (its zoom step): the page enlarged `zoom` times
// around its point (x, y), CSS px from the page's top left.
struct Camera {
  double zoom = 1, x = 0, y = 0;
};

struct Caption {
  // A chapter is a mark in the movie, not drawn; a highlight a ring around
  // a part of the page, with the text (if any) beside it; a narration what
  // the voice says, heard and not drawn.
  enum class Kind { kCaption, kTitle, kChapter, kHighlight, kNarration };
  Kind kind = Kind::kCaption;
  std::string text;
  double from = 0, to = 0;  // on the video's clock, seconds
  // A highlight's box on the page, CSS px from the page's top left.
  double left = 0, top = 0, width = 0, height = 0;
};

// The captions of `captions` that show at `seconds`, over the page area of
// `width` × `height` px at (`left`, `top`) of the canvas, `scale` px to the
// CSS pixel; clear of the lowest `bottomInset` CSS px (the home indicator).
void drawCaptions(graphics::Canvas& canvas, const std::vector<Caption>& captions, double seconds,
                  double left, double top, double width, double height, double scale,
                  double bottomInset);
// The highlights that show at `seconds`, the page scrolled `offset` CSS px
// and seen through `camera`.
void drawHighlights(graphics::Canvas& canvas, const std::vector<Caption>& captions, double seconds,
                    double left, double top, double width, double height, double scale,
                    double offset, const Camera& camera);
// The title cards that show at `seconds`, over the whole screen.
void drawTitleCards(graphics::Canvas& canvas, const std::vector<Caption>& captions, double seconds,
                    double left, double top, double width, double height, double scale);

// The same, each chapter lasting to the next one's start, the last to `end`.
std::vector<Caption> withChapterEnds(std::vector<Caption> captions, double end);

// The captions and titles (not the chapters or highlights) as a WebVTT file, or as
// SubRip when not `vtt`.
std::string cueFile(const std::vector<Caption>& captions, bool vtt);

}  // namespace vuz
