#include "vuzizeri/capture_loop.h"

#include <algorithm>

#include "vuzizeri/recorder.h"
#include "vuzizeri/scripts.h"

namespace vuz {

bool atEnd(const std::optional<web::ScriptValue>& answer) {
  if (!answer || !answer->isArray()) return true;
  const auto& elements = answer->elements;
  if (!std::all_of(elements.begin(), elements.end(),
                   [](const web::ScriptValue& e) { return e.isNumber(); }))
    return true;
  double y = elements.empty() ? 0.0 : elements[0].number;
  double m = elements.size() >= 2 ? elements[1].number : 1.0;
  return y >= m - 2;  // false for NaN on either side
}

NextStart nextStart(double iterationStart) {
  const double earliest = iterationStart + kCaptureInterval - kImmediateThreshold;
  return {earliest, earliest + kCaptureInterval};
}

double Vuzizeri::snapshotWidthPoints() const {
  double s = platform_.web->backingScaleFactor();
  if (!(s > 0)) s = 2.0;
  return args.scale * static_cast<double>(args.cssW) / s;
}

void Vuzizeri::capturar() {
  const double start = platform_.now();
  lastStart_ = start;
  const web::SnapshotTarget target = takeFrameBuffer();
  platform_.web->takeSnapshot(snapshotWidthPoints(), [this, start](graphics::ImageRef image) {
    if (!image) {
      platform_.fail("snapshot falhou");
      return;
    }
    if (platform_.progress) {
      const uint64_t signature = graphics::sampledRowsSignature(*image);
      if (progress_.frames == 0 || signature != previousSignature_) ++progress_.distinctFrames;
      previousSignature_ = signature;
      ++progress_.frames;
    }
    // The image may show the frame's buffer: not used after this.
    if (!gravarQuadro(*image)) return;
    progress_.seconds = std::max(lastPTS, 0.0);
    platform_.web->evaluateJavaScript(
        kPositionScript,
        [this, start](std::optional<web::ScriptValue> answer) { handlePosition(start, answer); });
  }, target);
}

void Vuzizeri::handlePosition(double iterationStart, const std::optional<web::ScriptValue>& answer) {
  fundo = atEnd(answer) ? fundo + 1 : 0;
  if (answer && answer->isArray() && answer->elements.size() >= 2 &&
      answer->elements[0].isNumber() && answer->elements[1].isNumber() &&
      answer->elements[1].number > 0)
    progress_.scrolled = std::clamp(answer->elements[0].number / answer->elements[1].number, 0.0, 1.0);
  tell(Progress::Phase::kRecording);
  if (fundo >= kEndReadings) {
    terminar();
    return;
  }
  // A page at its end paints nothing more: no picture is worth waiting for.
  NextStart next = nextStart(iterationStart);
  if (fundo > 0) next.latest = next.earliest;
  awaitNextStart(next);
}

void Vuzizeri::awaitNextStart(const NextStart& next) {
  pendingStart_ = next;
  considerStart();
}

void Vuzizeri::newPicture() {
  lastPicture_ = platform_.now();
  if (args.frameByFrame) pictureArrived();
  else considerStart();
}

// A picture that came shortly before the earliest start (pictures come
// every 16.2 ms or so, with some a little sooner) is taken then: its age
// costs less than a pixel of position, where waiting for the next one would
// lose it. One that came long before belongs to an iteration that started
// out of step with the pictures; the next picture starts the iteration
// instead and brings the loop back in step. Without either, the deadline.
void Vuzizeri::considerStart() {
  if (!pendingStart_) return;
  const double now = platform_.now();
  const bool recentPicture = lastPicture_ > lastStart_ &&
                             lastPicture_ >= pendingStart_->earliest - kEarlyPictureSeconds;
  const double at = recentPicture ? pendingStart_->earliest : pendingStart_->latest;
  if (now >= at) {
    startPendingIteration();
    return;
  }
  if (at == armedAt_) return;  // its call is on the way
  armedAt_ = at;
  platform_.asyncAfter(at - now, [this, wait = ++startWaits_] {
    if (wait == startWaits_) startPendingIteration();
  });
}

void Vuzizeri::startPendingIteration() {
  pendingStart_.reset();
  armedAt_ = -1;
  ++startWaits_;  // a call still queued for an earlier plan does nothing
  capturar();
}

}  // namespace vuz
