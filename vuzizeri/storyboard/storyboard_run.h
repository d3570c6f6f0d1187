#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/web/script_value.h"
#include "vuzizeri/picture/keyboard.h"
#include "vuzizeri/picture/touches.h"
#include "vuzizeri/report/json.h"
#include "vuzizeri/scroll/scroll_plan.h"
#include "vuzizeri/storyboard/steps.h"
#include "vuzizeri/storyboard/storyboard.h"

// --roteiro as it is run: each step begins at the first moment (a frame, or
// a tick of the wall clock) after the one before it ends, and does what is
// due at each moment after. The same steps run on the video's clock frame by
// frame and on the wall clock in real time and before the recording.
namespace vuz {

// A step as it was run, for the report: when it began (a tap: when the
// finger came down).
struct StepTime {
  int line = 0;
  std::string written;
  double seconds = 0;
};

// What a moment is to do: scroll the page to `scrollTo` (nothing: leave it
// where it stands); `over` once every step is done.
struct StoryDirection {
  std::optional<double> scrollTo;
  bool over = false;
  // The move under way, for a page that is to follow it on its own clock.
  std::optional<PlanSegment> move;
};

class StoryboardRun final : private StepContext {
 public:
  using Answer = StepContext::Answer;
  struct Host {
    // Runs scripts/storyboard_step.js with `arguments`.
    std::function<void(const JsonValue& arguments, std::function<void(Answer)>)> act;
    // Whether a match of `selector` shows in the view (scripts/visible_element.js).
    std::function<void(const std::string& selector, std::function<void(Answer)>)> visible;
    // Ends the run with `message`.
    std::function<void(const std::string& message)> fail;
    // Calls back after `seconds` of wall time (a navigation is waited for).
    std::function<void(double seconds, std::function<void()>)> after;
    // A navigation has begun (true), or brought its page (false).
    std::function<void(bool leaving)> navigating;
    // Whether a field's focus brings up the on-screen keyboard.
    bool keyboard = false;
    // A finger touched (`key` false) or a key was typed at `seconds` on the
    // run's clock; empty when nobody listens.
    std::function<void(double seconds, bool key)> sound;
    // A narrar step's voice starts at `seconds`: the step on `line`.
    std::function<void(double seconds, int line)> narrate;
  };

  StoryboardRun(std::vector<StoryStep> steps, double speed, double ease, double viewHeight,
                Host host);
  ~StoryboardRun() override;

  // Does what is due by `seconds` on the run's clock, the page standing at
  // `offset` with its end at `pageEnd` (CSS px); `done` is told what the
  // moment is to do. Asking again for the same moment does nothing twice.
  void advance(double seconds, double offset, double pageEnd,
               std::function<void(StoryDirection)> done);

  // A navigation failed with `reason`: the run fails if it was this run's
  // `ir`, awaiting its page.
  void navigationFailed(const std::string& reason);

  const std::vector<Touch>& touches() const { return touches_; }
  const std::vector<Caption>& captions() const { return captions_; }
  const KeyboardTimeline& keyboard() const { return keyboard_; }
  const std::vector<Picker>& pickers() const { return pickers_; }
  const Camera& cameraNow() const { return camera_; }
  // Where the page stood at the last moment asked about (CSS px).
  double offsetNow() const { return offset_; }
  const std::vector<StepTime>& times() const { return times_; }
  // How many steps have begun, of how many.
  size_t begun() const { return next_; }
  size_t size() const { return steps_.size(); }

 private:
  // StepContext.
  const StoryStep& step() const override { return steps_[next_ - 1]; }
  double seconds() const override { return seconds_; }
  double offset() const override { return offset_; }
  double pageEnd() const override { return pageEnd_; }
  // The part of the view above the keyboard.
  double viewHeight() const override { return viewHeight_ - keyboardCss_; }
  void act(const JsonValue& arguments, std::function<void(Answer)> then) override;
  void visible(const std::string& selector, std::function<void(Answer)> then) override {
    host_.visible(selector, std::move(then));
  }
  void after(double seconds, std::function<void()> then) override {
    host_.after(seconds, std::move(then));
  }
  void navigating(bool leaving) override {
    if (host_.navigating) host_.navigating(leaving);
  }
  void moveTo(double target) override;
  void proceed() override;
  void ended() override;
  void holdUntilNext() override;
  void refuse(const std::string& reason) override;
  std::string refusal(const Answer& answer) const override;
  void touched(const Touch& touch) override;
  void keyPressed(const std::string& key, double seconds) override;
  void show(const Caption& caption) override;
  void openPicker(const Picker& picker) override { pickers_.push_back(picker); }
  Picker* openPicker() override;
  const Camera& camera() const override { return camera_; }
  void setCamera(const Camera& camera) override { camera_ = camera; }

  void begin();
  // Does the active step's part of this moment: a move under way, then the
  // step's own.
  void goOn();
  void answer(bool over);
  // Asks the page what keyboard its focused element has, and tells it.
  void watchKeyboard(std::function<void()> then);

  const std::vector<StoryStep> steps_;
  const double speed_, ease_, viewHeight_;
  Host host_;
  size_t next_ = 0;
  // The step under way, and the move it asked for.
  std::unique_ptr<ActiveStep> active_;
  std::optional<PlanSegment> move_;
  // The moment asked about.
  double seconds_ = 0, offset_ = 0, pageEnd_ = 0;
  std::optional<double> scrollTo_;
  std::optional<PlanSegment> moving_;
  std::function<void(StoryDirection)> done_;
  std::vector<Touch> touches_;
  size_t touchedStep_ = 0;  // the last step that touched, counted as next_ is
  std::vector<Caption> captions_;
  KeyboardTimeline keyboard_;
  bool mayFocus_ = false;   // a step tapped or focused since the keyboard was last asked about
  double keyboardCss_ = 0;  // how much of the view the keyboard covers
  std::vector<Picker> pickers_;
  Camera camera_;
  std::vector<StepTime> times_;
};

}  // namespace vuz
