#include "vuzizeri/recorder/wall_clock_story.h"

#include "vuzizeri/recorder/page_reading.h"
#include "vuzizeri/recorder/page_scripts.h"
#include "vuzizeri/scroll/directing.h"

namespace vuz {

WallClockStory::WallClockStory(Host host, double speed, double ease)
    : host_(std::move(host)), speed_(speed), ease_(ease) {}

void WallClockStory::run(StoryboardRun& run, std::function<void()> over) {
  origin_ = host_.now();
  moveBegin_ = -1;
  moment(run, std::nullopt, std::move(over));
}

void WallClockStory::moment(StoryboardRun& run, std::optional<double> scrollTo,
                            std::function<void()> over) {
  // The page moved as the moment before said, and read for this one.
  host_.runScript(
      kStoryboardStepScript,
      JsonValue::object({{"scroll", scrollTo ? JsonValue(*scrollTo) : JsonValue()}}),
      [this, &run, over = std::move(over)](std::optional<web::ScriptValue> at) mutable {
        const std::optional<PageReading> reading = readPage(at);
        run.advance(host_.now() - origin_, reading ? reading->offset : 0,
                    reading ? reading->endOffset : 0,
                    [this, &run, over = std::move(over)](StoryDirection d) mutable {
                      host_.beat();
                      moving_ = d.scrollTo.has_value();
                      std::optional<double> next = d.scrollTo;
                      if (d.move) {
                        if (d.move->begin != moveBegin_) {
                          moveBegin_ = d.move->begin;
                          PlanShape shape;
                          shape.start = d.move->from;
                          shape.end = d.move->to;
                          shape.speed = speed_;
                          shape.ease = ease_;
                          host_.runScript(kPlanScrollScript, planScrollArguments(ScrollPlan(shape)),
                                          nullptr);
                        }
                        next.reset();
                      }
                      if (d.over) {
                        if (d.scrollTo)
                          host_.runScript(kStoryboardStepScript,
                                          JsonValue::object({{"scroll", *d.scrollTo}}), nullptr);
                        over();
                        return;
                      }
                      host_.after(1.0 / 60, [this, &run, next, over = std::move(over)]() mutable {
                        moment(run, next, std::move(over));
                      });
                    });
      });
}

}  // namespace vuz
