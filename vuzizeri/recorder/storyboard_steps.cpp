// The recording's side of --roteiro: the steps' page script, their failures,
// and the wall clock the steps before the recording (and, in real time, the
// filmed ones) run on.
#include <utility>

#include "vuzizeri/recorder/capture/frame_by_frame.h"
#include "vuzizeri/recorder/page_scripts.h"
#include "vuzizeri/recorder/recorder.h"
#include "vuzizeri/recorder/start_sequence.h"

namespace vuz {

double Vuzizeri::storySpeed() const { return args.speed.value_or(kMinimumSpeed); }

std::unique_ptr<StoryboardRun> Vuzizeri::makeStory(std::vector<StoryStep> steps, double speed,
                                                   bool filmed) {
  StoryboardRun::Host host;
  host.act = [this](const JsonValue& arguments, std::function<void(StoryboardRun::Answer)> then) {
    beat();
    runScript(kStoryboardStepScript, arguments, std::move(then));
  };
  host.visible = [this](const std::string& selector,
                        std::function<void(StoryboardRun::Answer)> then) {
    runScript(kVisibleElementScript, JsonValue::object({{"selector", selector}, {"inView", true}}),
              std::move(then));
  };
  host.fail = [this](const std::string& message) { platform_.fail(message); };
  host.after = [this](double seconds, std::function<void()> then) {
    beat();
    platform_.asyncAfter(seconds, std::move(then));
  };
  host.navigating = [this, filmed](bool leaving) {
    if (!filmed) return;
    leavingPage = leaving;
    // The new document has none of the recorder's own scripts yet.
    if (leaving) return;
    runScript(kOutOfViewScript, JsonValue::object({}));
    if (!args.frameByFrame) runScript(kOutOfViewLoopScript, JsonValue::object({}));
  };
  return std::make_unique<StoryboardRun>(std::move(steps), speed, args.ease,
                                         static_cast<double>(args.contentH), std::move(host));
}

void Vuzizeri::runStepsBefore(std::function<void()> then) {
  if (!args.storyboard || args.storyboard->before.empty()) {
    then();
    return;
  }
  beforeStory_ = makeStory(args.storyboard->before, storySpeed(), false);
  runOnWallClock(*beforeStory_, platform_.now(), std::move(then));
}

void Vuzizeri::runOnWallClock(StoryboardRun& run, double origin, std::function<void()> over) {
  wallMoveBegin_ = -1;
  wallClockMoment(run, origin, std::nullopt, std::move(over));
}

void Vuzizeri::wallClockMoment(StoryboardRun& run, double origin, std::optional<double> scrollTo,
                               std::function<void()> over) {
  // The page moved as the moment before said, and read for this one.
  runScript(
      kStoryboardStepScript,
      JsonValue::object({{"scroll", scrollTo ? JsonValue(*scrollTo) : JsonValue()}}),
      [this, &run, origin, over = std::move(over)](std::optional<web::ScriptValue> at) mutable {
        const std::optional<PageReading> reading = readPage(at);
        run.advance(
            platform_.now() - origin, reading ? reading->offset : 0,
            reading ? reading->endOffset : 0,
            [this, &run, origin, over = std::move(over)](StoryDirection d) mutable {
              beat();
              storyMoving = d.scrollTo.has_value();
              std::optional<double> next = d.scrollTo;
              if (d.move) {
                // The page moves itself, on its animation clock, as a plain
                // scroll does: smoother than being put at each moment.
                if (d.move->begin != wallMoveBegin_) {
                  wallMoveBegin_ = d.move->begin;
                  PlanShape shape;
                  shape.start = d.move->from;
                  shape.end = d.move->to;
                  shape.speed = storySpeed();
                  shape.ease = args.ease;
                  runScript(kPlanScrollScript, planScrollArguments(ScrollPlan(shape)));
                }
                next.reset();
              }
              if (d.over) {
                if (d.scrollTo)
                  runScript(kStoryboardStepScript, JsonValue::object({{"scroll", *d.scrollTo}}));
                over();
                return;
              }
              platform_.asyncAfter(1.0 / 60,
                                   [this, &run, origin, next, over = std::move(over)]() mutable {
                                     wallClockMoment(run, origin, next, std::move(over));
                                   });
            });
      });
}

}  // namespace vuz
