#include "vuzizeri/frame_by_frame.h"

#include <algorithm>
#include <cmath>

#include "vuzizeri/capture_loop.h"
#include "vuzizeri/recorder.h"
#include "vuzizeri/scripts.h"

namespace vuz {

namespace {

// The page's CSS animations and transitions run on the video's clock: each
// is paused and set to where it stood when first seen plus the video's time.
// The map lives in the recorder's script world, out of the page's sight.
constexpr char kFrameStepPrefix[] =
    "(function (y, t) {\n"
    "  var w = window, d = document;\n"
    "  if (d.getAnimations) {\n"
    "    var fromCss = function (a) {\n"
    "      return (typeof CSSAnimation != 'undefined' && a instanceof CSSAnimation) ||\n"
    "             (typeof CSSTransition != 'undefined' && a instanceof CSSTransition);\n"
    "    };\n"
    "    var clock = w.relogioDoVideo || (w.relogioDoVideo = new WeakMap());\n"
    "    d.getAnimations().forEach(function (a) {\n"
    "      if (!fromCss(a)) return;\n"
    "      if (!clock.has(a)) clock.set(a, (a.currentTime || 0) - t * 1000);\n"
    "      a.pause();\n"
    "      a.currentTime = clock.get(a) + t * 1000;\n"
    "    });\n"
    "  }\n"
    "  if (y !== null) w.scrollTo({ top: y, behavior: 'instant' });\n"
    "  var b = d.body, e = d.documentElement;\n"
    "  return [w.pageYOffset,\n"
    "          Math.max(b ? b.scrollHeight : 0, e ? e.scrollHeight : 0) - innerHeight];\n"
    "})(";

}  // namespace

double scrollPosition(double startOffset, double speed, double seconds, double endOffset) {
  return std::min(startOffset + speed * seconds, std::max(endOffset, startOffset));
}

bool scrollOver(double startOffset, double speed, double seconds, double endOffset) {
  return !(startOffset + speed * seconds < endOffset);
}

std::string frameStepScript(std::optional<double> scrollTo, double seconds) {
  return kFrameStepPrefix + (scrollTo ? shortestDecimal(*scrollTo) : std::string("null")) + ", " +
         shortestDecimal(seconds) + ")";
}

std::optional<PageReading> readPage(const std::optional<web::ScriptValue>& answer) {
  if (!answer || !answer->isArray() || answer->elements.size() != 2) return std::nullopt;
  const web::ScriptValue& offset = answer->elements[0];
  const web::ScriptValue& end = answer->elements[1];
  if (!offset.isNumber() || !end.isNumber() || !std::isfinite(offset.number) ||
      !std::isfinite(end.number))
    return std::nullopt;
  return PageReading{offset.number, end.number};
}

void Vuzizeri::startFrameByFrame(double speed) {
  speed_ = speed;
  wallStart_ = platform_.now();
  stepTo(0);
}

void Vuzizeri::stepTo(int64_t frame) {
  const double seconds = static_cast<double>(frame) / kVideoFrameRate;
  // Frame 0 shows the page where it stands; later ones where the scroll has
  // it, with the end as last read. The page scrolls by whole CSS pixels; the
  // rest of the way is made up when the frame is composed.
  std::optional<double> target;
  if (frame > 0) target = scrollPosition(startOffset_, speed_, seconds, endOffset_);
  platform_.web->evaluateInOwnWorld(
      frameStepScript(target ? std::optional(std::floor(*target)) : std::nullopt, seconds),
      [this, frame, target](std::optional<web::ScriptValue> answer) {
        handleStep(frame, target, answer);
      });
}

void Vuzizeri::handleStep(int64_t frame, std::optional<double> target,
                          const std::optional<web::ScriptValue>& answer) {
  const double seconds = static_cast<double>(frame) / kVideoFrameRate;
  const std::optional<PageReading> reading = readPage(answer);
  bool moved = false;
  bool atEnd = true;  // a reading that failed counts as one at the end, as in real time
  step_ = Step{frame, 0.0};
  if (reading) {
    if (frame == 0) startOffset_ = reading->offset;
    endOffset_ = reading->endOffset;
    moved = reading->offset != shownOffset_;
    shownOffset_ = reading->offset;
    // What the page could not do in whole pixels. A page that went
    // elsewhere (it holds its scroll, or its end moved) is shown as it is.
    if (target && *target - reading->offset >= 0 && *target - reading->offset < 1)
      step_.shift = *target - reading->offset;
    atEnd = scrollOver(startOffset_, speed_, seconds, endOffset_);
  }
  endFrames_ = atEnd ? endFrames_ + 1 : 0;
  awaitingPicture_ = true;
  // The reply came before the picture painted after the script: the first
  // picture from now on shows this position, without asking for another.
  platform_.asyncAfter(moved ? kMovedFrameWait : kStillFrameWait,
                       [this, wait = ++pictureWaits_] {
                         if (wait == pictureWaits_) captureStep();
                       });
}

void Vuzizeri::captureStep() {
  if (!awaitingPicture_) return;
  awaitingPicture_ = false;
  ++pictureWaits_;
  const Step step = step_;
  web::SnapshotTarget target = takeFrameBuffer();
  // A frame that must be moved by a fraction is drawn from a picture of its
  // own; the others go straight into the frame.
  if (step.shift != 0) target = {};
  platform_.web->takeSnapshot(snapshotWidthPoints(), [this, step](graphics::ImageRef image) {
    if (!image) {
      platform_.fail("snapshot falhou");
      return;
    }
    const bool last = endFrames_ >= kEndReadings;
    // The web process paints the next position while this frame is composed
    // and encoded.
    if (!last) stepTo(step.frame + 1);
    const double shiftPx = step.shift * static_cast<double>(contentPx) / static_cast<double>(args.contentH);
    if (!recordFrameAt(*image, static_cast<double>(step.frame) / kVideoFrameRate, shiftPx)) return;
    beat();
    if (platform_.progress) {
      progress_.frames = step.frame + 1;
      progress_.seconds = lastPTS;
      const double elapsed = platform_.now() - wallStart_;
      progress_.rate = elapsed > 0 ? static_cast<double>(progress_.frames) / elapsed : 0;
      double remaining = kEndReadings - endFrames_;
      if (endFrames_ == 0 && speed_ > 0)
        remaining += std::max(0.0, (endOffset_ - shownOffset_) / speed_ * kVideoFrameRate);
      progress_.secondsLeft = progress_.rate > 0 ? remaining / progress_.rate : 0;
      progress_.scrolled = endOffset_ > 0 ? std::clamp(shownOffset_ / endOffset_, 0.0, 1.0) : 1.0;
      tell(Progress::Phase::kRecording);
    }
    if (last) terminar();
  }, target);
}

void Vuzizeri::pictureArrived() {
  if (awaitingPicture_) captureStep();
}

}  // namespace vuz
