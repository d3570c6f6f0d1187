#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/web/script_value.h"
#include "vuzizeri/recorder/page_reading.h"
#include "vuzizeri/report/json.h"
#include "vuzizeri/scroll/scroll_plan.h"

// Frame by frame: the recorder, not the page's clock, moves the page. Frame
// i shows the page where the constant-speed scroll has it at i/fps s, and is
// stamped exactly i/fps s, however long the machine takes to paint it.
namespace vuz {

inline constexpr double kVideoFrameRate = 60;
// The page's clocks move in steps of 1/kVideoFrameRate s, this many a frame.
inline int64_t clockTicksPerFrame(int fps) { return static_cast<int64_t>(kVideoFrameRate) / fps; }
// A frame whose position did not change may still wait this long for a new
// picture (the page's own animations); one whose position changed waits
// this long for the picture that shows it before taking what the view has.
inline constexpr double kStillFrameWait = 1.0 / 60;
inline constexpr double kMovedFrameWait = 2.0;
// What a frame shows (images, background images, web fonts) is waited for,
// checked this often, for this long at most; then the picture that shows
// what arrived is waited for this long at most.
inline constexpr double kArrivalPollSeconds = 0.05;
inline constexpr double kArrivalWaitSeconds = 3.0;
inline constexpr double kArrivedFrameWait = 0.5;

// Before a part's first frame, the page is run through every frame before it
// (its clocks, what it loads and reveals as it scrolls), and the pictures of
// the last second of them give the band its colours, eased as a whole run
// eases them: older ones weigh less than a thousandth.
inline constexpr int64_t kBandWarmupFrames = 60;
// Running through, the page is painted when it has moved a quarter of its
// view since it last was, or this many frames later; the frames between only
// move its clocks.
inline constexpr int64_t kRunThroughPictureFrames = 30;

// The `step` of scripts/frame.js: the page's clocks moved `ticks` steps of
// 1/kVideoFrameRate s on (the first starts them), its CSS animations and transitions put at
// `seconds` of the video's clock, the page scrolled to the whole CSS pixel `scrollTo` unless it is
// empty. The script answers [offset, end offset, [left, top, right, bottom, ...]] in CSS pixels,
// the rectangles those of the parts that stay in the view as it scrolls, and with `lift` (kept
// layers and scale, or null) the lifted layers (lifted_layers.h); with the arrivals check
// before it (arrivals.h), [pending] or [0, that answer].
JsonValue frameStep(std::optional<double> scrollTo, double seconds, int64_t ticks = 1,
                    JsonValue lift = JsonValue());

class CaptureHost;

// Runs scripts/frame.js with `arguments`: installed in the page's own world
// on first use (and again after the page loads another document), then
// only called, so that its source is not sent and compiled every frame.
void runFrameScript(CaptureHost& recording, const JsonValue& arguments,
                    std::function<void(std::optional<web::ScriptValue>)> then);

// A checked step's answer: something was still on its way (the page did
// not move), or the page moved on and read as `reading` (nothing when that
// part of the answer is unreadable); neither when the script gave no usable
// answer at all.
struct CheckedStep {
  bool pending = false;
  bool moved = false;
  std::optional<PageReading> reading;
};
CheckedStep readCheckedStep(const std::optional<web::ScriptValue>& answer);

}  // namespace vuz
