#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/web/script_value.h"

// Frame by frame: the recorder, not the page's clock, moves the page. Frame
// i shows the page where the constant-speed scroll has it at i/60 s, and is
// stamped exactly i/60 s, however long the machine takes to paint it.
namespace vuz {

inline constexpr double kVideoFrameRate = 60;
// A frame whose position did not change may still wait this long for a new
// picture (the page's own animations); one whose position changed waits
// this long for the picture that shows it before taking what the view has.
inline constexpr double kStillFrameWait = 1.0 / 60;
inline constexpr double kMovedFrameWait = 2.0;

// Where the constant-speed scroll has the page `seconds` into the video:
// from `startOffset` at `speed` CSS px/s, never beyond `endOffset`.
double scrollPosition(double startOffset, double speed, double seconds, double endOffset);

// Whether the scroll is over at `seconds`: the position has reached the end.
bool scrollOver(double startOffset, double speed, double seconds, double endOffset);

// The script of one frame, run in the recorder's own script world: it puts
// the page's CSS animations and transitions at `seconds` of the video's clock
// (each paused, moved on from where it stood when first seen), scrolls to the
// whole CSS pixel `scrollTo` unless it is empty, and answers [offset, end
// offset] in CSS pixels.
std::string frameStepScript(std::optional<double> scrollTo, double seconds);

// The page's offset and end offset from a step script's answer; nothing
// when the answer is not two numbers.
struct PageReading {
  double offset = 0;
  double endOffset = 0;
};
std::optional<PageReading> readPage(const std::optional<web::ScriptValue>& answer);

}  // namespace vuz
