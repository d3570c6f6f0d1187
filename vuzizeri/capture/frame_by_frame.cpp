#include "vuzizeri/capture/frame_by_frame.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include "vuzizeri/capture/arrivals.h"
#include "vuzizeri/capture/capture_drivers.h"
#include "vuzizeri/capture/real_time.h"
#include "vuzizeri/capture/video_clock.h"
#include "vuzizeri/picture/lifted_layers.h"
#include "vuzizeri/recorder/frame_budget.h"
#include "vuzizeri/recorder/page_scripts.h"
#include "vuzizeri/recorder/wall_clock_story.h"
#include "vuzizeri/storyboard/storyboard_run.h"

namespace vuz {

JsonValue frameStep(std::optional<double> scrollTo, double seconds, int64_t ticks, JsonValue lift) {
  return JsonValue::object({{"ticks", ticks},
                            {"clockEvent", kVideoClockEvent},
                            {"scrollTo", scrollTo ? JsonValue(*scrollTo) : JsonValue()},
                            {"seconds", seconds},
                            {"lift", std::move(lift)}});
}

namespace {

// What the call answers where frame.js is not installed.
constexpr char kFrameScriptMissing[] = "frame.js por instalar";

const PageScript& installedFrameScript() {
  static const std::string source =
      std::string("window.vuzFrame || function () { return '") + kFrameScriptMissing + "'; }";
  static const PageScript script{kFrameScript.name, source.c_str()};
  return script;
}

const PageScript& installingFrameScript() {
  static const std::string source = std::string("window.vuzFrame = ") + kFrameScript.source;
  static const PageScript script{kFrameScript.name, source.c_str()};
  return script;
}

}  // namespace

void runFrameScript(CaptureHost& recording, const JsonValue& arguments,
                    std::function<void(std::optional<web::ScriptValue>)> then) {
  recording.runScript(
      installedFrameScript(), arguments,
      [&recording, arguments, then = std::move(then)](std::optional<web::ScriptValue> answer) {
        if (answer && answer->kind == web::ScriptValue::Kind::kString &&
            answer->string == kFrameScriptMissing) {
          recording.runScript(installingFrameScript(), arguments, then);
          return;
        }
        then(std::move(answer));
      });
}

CheckedStep readCheckedStep(const std::optional<web::ScriptValue>& answer) {
  CheckedStep step;
  if (!answer || !answer->isArray() || answer->elements.empty() || !answer->elements[0].isNumber())
    return step;
  if (answer->elements[0].number > 0) {
    step.pending = true;
    return step;
  }
  step.moved = true;
  if (answer->elements.size() > 1) step.reading = readPage(answer->elements[1]);
  return step;
}

namespace {

// Frame by frame: the recorder moves the page one exact position a frame,
// waits for the picture that shows it and for what it shows to arrive, and
// stamps it with the frame's own time.
class FrameByFrameDriver final : public CaptureDriver {
 public:
  explicit FrameByFrameDriver(CaptureHost& recording) : r_(recording), arrivals_(recording) {}

  void start(double speed, const ScrollPlan* plan) override {
    // A plain scroll runs from where the page stands at the first frame to
    // its end as it grows, at most for 60 s of scrolling.
    firstFrameShapesPlan_ = !plan;
    plan_.emplace(plan ? *plan : plainScroll(0, 0, speed));
    if (const std::optional<PartLabel>& part = r_.part()) {
      firstFrame_ = part->frames.first;
      endFrame_ = part->frames.end;
    }
    wallStart_ = r_.now();
    r_.runScript(kOutOfViewScript, JsonValue::object({}));
    if (r_.settings().liftLayers) r_.runScript(kLiftLayersScript, JsonValue::object({}));
    if (!r_.story()) {
      stepTo(0);
      return;
    }
    // The storyboard's first move starts from where the page stands.
    firstFrameShapesPlan_ = false;
    r_.runScript(kStoryboardStepScript, JsonValue::object({{"scroll", JsonValue()}}),
                 [this](std::optional<web::ScriptValue> at) {
                   if (const std::optional<PageReading> reading = readPage(at)) {
                     shownOffset_ = reading->offset;
                     endOffset_ = reading->endOffset;
                   }
                   stepTo(0);
                 });
  }

  void newPicture() override {
    if (awaitingPicture_) captureStep();
  }

 private:
  // A frame and how its picture is moved up.
  struct Step {
    int64_t frame = 0;
    RowShift shift;
  };
  // A frame's picture, and the next step's answer while it waits for it.
  struct Shot {
    graphics::ImageRef image;
    std::function<void()> answered;
  };

  double secondsOf(int64_t frame) const { return static_cast<double>(frame) / r_.settings().fps; }
  // The page's clock steps from frame `from` to frame `to`; the first starts
  // it.
  int64_t ticksBetween(int64_t from, int64_t to) const {
    return to == 0 ? 1 : (to - from) * clockTicksPerFrame(r_.settings().fps);
  }
  // Where frame `frame` puts the page: frame 0 where it stands; later ones
  // where the plan has it, with the end as last read, to the nearest row of
  // the video (the page scrolls by whole CSS pixels; the rows left over are
  // made up when the frame is composed).
  std::optional<SnappedScroll> snappedFor(int64_t frame) const;
  // The same, from the storyboard once it has done what is due by the
  // frame's time.
  void directFrame(int64_t frame, std::function<void(std::optional<SnappedScroll>)> then);
  void stepTo(int64_t frame, int64_t from = 0);
  void runStep(int64_t frame, int64_t from, std::optional<SnappedScroll> snapped);
  // The step's `lift`: what the page may leave out of its next picture.
  JsonValue lift() const;
  // Running through: the next frame to paint after `frame`.
  int64_t nextRunThroughStop(int64_t frame) const;
  void handleStep(int64_t frame, std::optional<SnappedScroll> snapped,
                  const std::optional<PageReading>& reading);
  void awaitPicture(double atMost);
  void captureStep();
  // Takes the picture of the current frame and, in the same script as the
  // check that nothing it shows is still on its way, moves the page on to
  // the next frame: the web process paints that one while this one is
  // composed and encoded.
  void takeFrameAndStepOn();
  void stepOn(const Step& step, int64_t next, std::optional<SnappedScroll> snapped,
              std::shared_ptr<Shot> shot);
  void handleStepOn(const Step& step, int64_t next, std::optional<SnappedScroll> snapped,
                    const graphics::Image& image, const std::optional<web::ScriptValue>& answer);
  // Makes the page's part of the frame while the page runs the next step.
  void compose(const Step& step, const graphics::Image& image);
  void takeLastFrame();
  // Records the frame (or, before a part's first, only eases the band's
  // colours with it); false when the run has failed.
  bool finishFrame(const Step& step, const graphics::Image& image);
  void tellProgress(int64_t frame);

  CaptureHost& r_;
  ArrivalWait arrivals_;
  std::optional<ScrollPlan> plan_;
  bool firstFrameShapesPlan_ = false;
  // --trecho: the frames recorded; those before are only run through.
  int64_t firstFrame_ = 0;
  std::optional<int64_t> endFrame_;
  double wallStart_ = 0;
  double endOffset_ = 0;
  double shownOffset_ = -1;
  bool storyOver_ = false;
  Step step_;
  bool awaitingPicture_ = false;
  double awaitedSince_ = 0;
  uint64_t pictureWaits_ = 0;  // tells a stale wait for a picture from the current one
  // The frame whose page was made while the page ran the next step.
  std::optional<PreparedFrame> prepared_;
  bool failed_ = false;
};

JsonValue FrameByFrameDriver::lift() const {
  if (!r_.settings().liftLayers) return JsonValue();
  std::vector<JsonValue> kept;
  for (int64_t n : r_.keptLayers()) kept.emplace_back(n);
  return JsonValue::object({{"kept", JsonValue::list(kept)}, {"scale", r_.settings().rowsPerCss}});
}

int64_t FrameByFrameDriver::nextRunThroughStop(int64_t frame) const {
  const int64_t warmup = firstFrame_ - kBandWarmupFrames;
  const double at = plan_->position(secondsOf(frame), endOffset_);
  int64_t next = frame + 1;
  while (next < warmup && next - frame < kRunThroughPictureFrames &&
         std::abs(plan_->position(secondsOf(next), endOffset_) - at) <
             static_cast<double>(r_.settings().contentH) / 4)
    ++next;
  return next;
}

std::optional<SnappedScroll> FrameByFrameDriver::snappedFor(int64_t frame) const {
  if (frame == 0) return std::nullopt;
  return snapScroll(plan_->position(secondsOf(frame), endOffset_), r_.settings().rowsPerCss);
}

void FrameByFrameDriver::directFrame(int64_t frame,
                                     std::function<void(std::optional<SnappedScroll>)> then) {
  StoryboardRun* story = r_.story();
  if (!story) {
    then(snappedFor(frame));
    return;
  }
  story->advance(secondsOf(frame), std::max(0.0, shownOffset_), endOffset_,
                 [this, then = std::move(then)](StoryDirection d) {
                   storyOver_ = d.over;
                   then(d.scrollTo
                            ? std::optional(snapScroll(*d.scrollTo, r_.settings().rowsPerCss))
                            : std::nullopt);
                 });
}

void FrameByFrameDriver::stepTo(int64_t frame, int64_t from) {
  directFrame(frame, [this, frame, from](std::optional<SnappedScroll> snapped) {
    runStep(frame, from, snapped);
  });
}

void FrameByFrameDriver::runStep(int64_t frame, int64_t from,
                                 std::optional<SnappedScroll> snapped) {
  runFrameScript(
      r_,
      JsonValue::object(
          {{"step", frameStep(snapped ? std::optional(snapped->scrollTo) : std::nullopt,
                              secondsOf(frame), ticksBetween(from, frame), lift())}}),
      [this, frame, snapped, sent = budget::now()](std::optional<web::ScriptValue> answer) {
        budget::add(budget::Phase::kStep, budget::now() - sent);
        handleStep(frame, snapped, readPage(answer));
      });
}

void FrameByFrameDriver::handleStep(int64_t frame, std::optional<SnappedScroll> snapped,
                                    const std::optional<PageReading>& reading) {
  bool moved = false;
  bool atEnd = true;  // a reading that failed counts as one at the end, as in real time
  step_ = Step{frame, {}};
  if (reading) {
    if (frame == 0 && firstFrameShapesPlan_ && !r_.story())
      plan_.emplace(plainScroll(reading->offset, reading->endOffset, plan_->shape().speed));
    endOffset_ = reading->endOffset;
    r_.noteOffset(reading->offset);
    moved = reading->offset != shownOffset_;
    shownOffset_ = reading->offset;
    // A page that went elsewhere (it holds its scroll, or its end moved) is
    // shown as it is.
    if (snapped && std::abs(reading->offset - snapped->scrollTo) < 1e-3 && snapped->rowsUp > 0) {
      step_.shift.rowsUp = snapped->rowsUp;
      step_.shift.still =
          stillRects(reading->still, r_.settings().rowsPerCss, static_cast<int>(r_.settings().pxW),
                     static_cast<int>(r_.settings().contentPx));
    }
    step_.shift.layers = layerPlacements(reading->layers, r_.settings().rowsPerCss,
                                         static_cast<int>(r_.settings().pxW),
                                         static_cast<int>(r_.settings().contentPx));
    // A storyboard's end is held until the video, with the frames that
    // show the end, is as long as it must be.
    atEnd = r_.story() ? storyOver_ && secondsOf(frame + endReadings(r_.settings().fps)) >=
                                           r_.settings().shortestSeconds - 1e-9
                       : plan_->over(secondsOf(frame), endOffset_);
  }
  r_.countEnd(atEnd);
  awaitPicture(moved ? kMovedFrameWait : kStillFrameWait);
}

void FrameByFrameDriver::awaitPicture(double atMost) {
  awaitingPicture_ = true;
  awaitedSince_ = budget::now();
  // The step's answer came before the picture painted after it: the first
  // picture from now on shows this position, without asking for another.
  r_.after(atMost, [this, wait = ++pictureWaits_] {
    if (wait == pictureWaits_) captureStep();
  });
}

void FrameByFrameDriver::captureStep() {
  if (!awaitingPicture_) return;
  awaitingPicture_ = false;
  ++pictureWaits_;
  budget::add(budget::Phase::kPicture, budget::now() - awaitedSince_);
  if (step_.frame < firstFrame_ - kBandWarmupFrames) {
    // Running through: the page's clocks move every frame, in one script up
    // to the next frame painted, which lets it see what scrolled into view
    // (lazy pictures, reveals) once it has moved a quarter of its view.
    r_.beat();
    const int64_t next = nextRunThroughStop(step_.frame);
    stepTo(next, step_.frame);
    return;
  }
  const bool last = r_.endCount() >= endReadings(r_.settings().fps) ||
                    (endFrame_ && step_.frame + 1 >= *endFrame_);
  if (!last) {
    takeFrameAndStepOn();
    return;
  }
  arrivals_.check([this, asked = budget::now()](bool waited) {
    budget::add(budget::Phase::kArrivals, budget::now() - asked);
    // What arrived shows in the next picture.
    if (waited)
      awaitPicture(kArrivedFrameWait);
    else
      takeLastFrame();
  });
}

void FrameByFrameDriver::takeFrameAndStepOn() {
  const Step step = step_;
  const int64_t next = step.frame + 1;
  auto shot = std::make_shared<Shot>();
  if (r_.wantsLayersAlone(step.shift.layers)) {
    // A layer with alpha shows as it now looks: once this frame is drawn,
    // it is taken alone, and only then does the page move on; what the page
    // painted meanwhile is let through first.
    r_.snapshot([this, step, next, shot](graphics::ImageRef image) {
      shot->image = std::move(image);
      r_.takeLayersAlone(step.shift.layers, [this, step, next, shot] {
        r_.after(0, [this, step, next, shot] {
          directFrame(next, [this, step, next, shot](std::optional<SnappedScroll> snapped) {
            stepOn(step, next, snapped, shot);
            compose(step, *shot->image);
          });
        });
      });
    });
    return;
  }
  if (!r_.story() && r_.view().drawsSnapshotAtOnce()) {
    // The next step goes first: the page runs it while this frame is
    // drawn, and its picture cannot come in before this one is taken.
    stepOn(step, next, snappedFor(next), shot);
    r_.snapshot([this, step, shot](graphics::ImageRef image) {
      shot->image = std::move(image);
      compose(step, *shot->image);
      if (shot->answered) std::exchange(shot->answered, nullptr)();
    });
    return;
  }
  r_.snapshot([this, step, next, shot](graphics::ImageRef image) {
    shot->image = std::move(image);
    directFrame(next, [this, step, next, shot](std::optional<SnappedScroll> snapped) {
      stepOn(step, next, snapped, shot);
      compose(step, *shot->image);
    });
  });
}

void FrameByFrameDriver::stepOn(const Step& step, int64_t next,
                                std::optional<SnappedScroll> snapped, std::shared_ptr<Shot> shot) {
  prepared_.reset();
  runFrameScript(
      r_,
      JsonValue::object(
          {{"check", arrivalsCheck(false)},
           {"step", frameStep(snapped ? std::optional(snapped->scrollTo) : std::nullopt,
                              secondsOf(next), ticksBetween(step.frame, next), lift())}}),
      [this, step, next, snapped, shot,
       sent = budget::now()](std::optional<web::ScriptValue> answer) {
        budget::add(budget::Phase::kStep, budget::now() - sent);
        auto handle = [this, step, next, snapped, shot, answer = std::move(answer)] {
          handleStepOn(step, next, snapped, *shot->image, answer);
        };
        if (shot->image)
          handle();
        else
          shot->answered = std::move(handle);
      });
}

void FrameByFrameDriver::handleStepOn(const Step& step, int64_t next,
                                      std::optional<SnappedScroll> snapped,
                                      const graphics::Image& image,
                                      const std::optional<web::ScriptValue>& answer) {
  const CheckedStep checked = readCheckedStep(answer);
  if (checked.pending) {
    // The picture came before what it shows: wait for that, then for the
    // picture that shows it, and take this frame again.
    step_ = step;
    prepared_.reset();
    arrivals_.check([this, asked = budget::now()](bool) {
      budget::add(budget::Phase::kArrivals, budget::now() - asked);
      awaitPicture(kArrivedFrameWait);
    });
    return;
  }
  if (!finishFrame(step, image)) return;
  handleStep(next, snapped, checked.reading);
}

void FrameByFrameDriver::compose(const Step& step, const graphics::Image& image) {
  if (step.frame < firstFrame_) return;
  prepared_ = r_.prepareFrameAt(image, secondsOf(step.frame), step.shift);
  if (!prepared_) failed_ = true;
}

void FrameByFrameDriver::takeLastFrame() {
  const Step step = step_;
  r_.snapshot([this, step](graphics::ImageRef image) {
    if (finishFrame(step, *image)) r_.finish();
  });
}

bool FrameByFrameDriver::finishFrame(const Step& step, const graphics::Image& image) {
  if (failed_) return false;
  if (step.frame < firstFrame_) {
    r_.warmBandColours(image, secondsOf(step.frame), step.shift);
  } else {
    std::optional<PreparedFrame> frame = std::move(prepared_);
    prepared_.reset();
    if (!frame) frame = r_.prepareFrameAt(image, secondsOf(step.frame), step.shift);
    if (!frame || !r_.recordPrepared(std::move(*frame))) return false;
    tellProgress(step.frame);
  }
  r_.beat();
  return true;
}

void FrameByFrameDriver::tellProgress(int64_t frame) {
  if (!r_.watched()) return;
  Progress& progress = r_.progress();
  progress.frames = frame + 1;
  progress.seconds = r_.lastFrameTime();
  const double elapsed = r_.now() - wallStart_;
  progress.rate = elapsed > 0 ? static_cast<double>(progress.frames) / elapsed : 0;
  if (const StoryboardRun* story = r_.story()) {
    progress.secondsLeft = 0;
    progress.scrolled =
        story->size() ? static_cast<double>(story->begun()) / static_cast<double>(story->size())
                      : 1;
    r_.tell(Progress::Phase::kRecording);
    return;
  }
  const double seconds = secondsOf(frame);
  const double length = plan_->duration(endOffset_);
  double remaining = static_cast<double>(endReadings(r_.settings().fps) - r_.endCount());
  if (r_.endCount() == 0) remaining += std::max(0.0, (length - seconds) * r_.settings().fps);
  progress.secondsLeft = progress.rate > 0 ? remaining / progress.rate : 0;
  progress.scrolled = length > 0 ? std::clamp(seconds / length, 0.0, 1.0) : 1.0;
  r_.tell(Progress::Phase::kRecording);
}

}  // namespace

std::unique_ptr<CaptureDriver> frameByFrameDriver(CaptureHost& recording) {
  return std::make_unique<FrameByFrameDriver>(recording);
}

}  // namespace vuz
