#include "vuzizeri/capture/real_time.h"

#include <algorithm>
#include <cmath>

#include "vuzizeri/capture/capture_drivers.h"
#include "vuzizeri/recorder/frame_budget.h"
#include "vuzizeri/recorder/page_scripts.h"
#include "vuzizeri/recorder/scripts.h"
#include "vuzizeri/recorder/wall_clock_story.h"
#include "vuzizeri/scroll/directing.h"
#include "vuzizeri/storyboard/storyboard_run.h"

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

NextStart nextStart(double iterationStart, double interval) {
  const double earliest = iterationStart + interval - kImmediateThreshold;
  return {earliest, earliest + interval};
}

namespace {

// Real time: the page scrolls itself on its own clock; each iteration takes
// the view's newest picture and stamps it with the clock.
class RealTimeDriver final : public CaptureDriver {
 public:
  explicit RealTimeDriver(CaptureHost& recording) : r_(recording) {}

  void start(double speed, const ScrollPlan* plan) override {
    directed_ = plan != nullptr;
    r_.runScript(kOutOfViewScript, JsonValue::object({}));
    r_.runScript(kOutOfViewLoopScript, JsonValue::object({}));
    if (StoryboardRun* story = r_.story()) {
      // The storyboard's steps on the wall clock, the frames as they come.
      r_.wallClock().run(*story, [this] { storyOver_ = true; });
    } else if (plan)
      r_.runScript(kPlanScrollScript, planScrollArguments(*plan));
    else
      r_.scrollAtSpeed(speed);
    capturar();
  }

  void newPicture() override {
    lastPicture_ = r_.now();
    considerStart();
  }

 private:
  void capturar();
  void handlePosition(double iterationStart, const std::optional<web::ScriptValue>& answer);
  void awaitNextStart(const NextStart& next);
  void considerStart();
  void startPendingIteration();

  CaptureHost& r_;
  bool directed_ = false;                  // the page follows a plan
  bool storyOver_ = false;                 // or a storyboard, done
  double lastStart_ = 0;                   // clock time of the last iteration's snapshot
  double lastPicture_ = -1e300;            // clock time of the view's newest picture
  std::optional<NextStart> pendingStart_;  // the next iteration waits for its moment
  double armedAt_ = -1;                    // when the delayed start call is due
  uint64_t startWaits_ = 0;                // tells a stale delayed call from the current one
  uint64_t previousSignature_ = 0;
};

void RealTimeDriver::capturar() {
  if (r_.wallClock().leavingPage()) {
    // Between two pages the view shows neither: the last frame stands.
    r_.after(captureInterval(r_.settings().fps), [this] { capturar(); });
    return;
  }
  const double start = r_.now();
  lastStart_ = start;
  r_.snapshot([this, start](graphics::ImageRef picture) {
    const graphics::Image& image = *picture;
    Progress& progress = r_.progress();
    if (r_.watched()) {
      const uint64_t signature = graphics::sampledRowsSignature(image);
      if (progress.frames == 0 || signature != previousSignature_) ++progress.distinctFrames;
      previousSignature_ = signature;
      ++progress.frames;
    }
    // The image may show the frame's buffer: not used after this.
    if (!r_.recordFrameNow(image)) return;
    progress.seconds = std::max(r_.lastFrameTime(), 0.0);
    auto then = [this, start, asked = budget::now()](std::optional<web::ScriptValue> answer) {
      budget::add(budget::Phase::kPosition, budget::now() - asked);
      handlePosition(start, answer);
    };
    if (r_.story()) {
      // The storyboard's own clock reads the page; no reading is needed here.
      then(std::nullopt);
    } else if (directed_) {
      r_.runScript(kPlanProgressScript, JsonValue::object({}), then);
    } else {
      // The page's own script, whose failure counts as a reading at the end.
      r_.view().evaluateJavaScript(kPositionScript,
                                   [then](web::ScriptAnswer answer) { then(answer.value); });
    }
  });
}

void RealTimeDriver::handlePosition(double iterationStart,
                                    const std::optional<web::ScriptValue>& answer) {
  const bool done = r_.countEnd(r_.story()  ? storyOver_
                                : directed_ ? planOver(answer)
                                            : atEnd(answer));
  const size_t offsetAt = directed_ ? 2 : 0;
  if (answer && answer->isArray() && answer->elements.size() > offsetAt &&
      answer->elements[offsetAt].isNumber() && std::isfinite(answer->elements[offsetAt].number))
    r_.noteOffset(answer->elements[offsetAt].number);
  if (answer && answer->isArray() && answer->elements.size() >= 2 &&
      answer->elements[0].isNumber() && answer->elements[1].isNumber() &&
      answer->elements[1].number > 0)
    r_.progress().scrolled =
        std::clamp(answer->elements[0].number / answer->elements[1].number, 0.0, 1.0);
  r_.tell(Progress::Phase::kRecording);
  if (done) {
    r_.finish();
    return;
  }
  // A page at its end paints nothing more: no picture is worth waiting for.
  NextStart next = nextStart(iterationStart, captureInterval(r_.settings().fps));
  // Nor does one the storyboard holds still, unless the page moves itself.
  if (r_.endCount() > 0 || (r_.story() && !r_.wallClock().moving())) next.latest = next.earliest;
  awaitNextStart(next);
}

void RealTimeDriver::awaitNextStart(const NextStart& next) {
  pendingStart_ = next;
  considerStart();
}

// A picture that came shortly before the earliest start (pictures come
// every 16.2 ms or so, with some a little sooner) is taken then: its age
// costs less than a pixel of position, where waiting for the next one would
// lose it. One that came long before belongs to an iteration that started
// out of step with the pictures; the next picture starts the iteration
// instead and brings the loop back in step. Without either, the deadline.
void RealTimeDriver::considerStart() {
  if (!pendingStart_) return;
  const double now = r_.now();
  const bool recentPicture =
      lastPicture_ > lastStart_ && lastPicture_ >= pendingStart_->earliest - kEarlyPictureSeconds;
  const double at = recentPicture ? pendingStart_->earliest : pendingStart_->latest;
  if (now >= at) {
    startPendingIteration();
    return;
  }
  if (at == armedAt_) return;  // its call is on the way
  armedAt_ = at;
  r_.after(at - now, [this, wait = ++startWaits_] {
    if (wait == startWaits_) startPendingIteration();
  });
}

void RealTimeDriver::startPendingIteration() {
  pendingStart_.reset();
  armedAt_ = -1;
  ++startWaits_;  // a call still queued for an earlier plan does nothing
  capturar();
}

}  // namespace

std::unique_ptr<CaptureDriver> realTimeDriver(CaptureHost& recording) {
  return std::make_unique<RealTimeDriver>(recording);
}

}  // namespace vuz
