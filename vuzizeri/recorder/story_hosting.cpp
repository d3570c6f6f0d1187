// The recording's side of --roteiro: the steps' page script and their
// failures, and the steps before the recording on the wall clock.
#include <utility>

#include "vuzizeri/recorder/page_scripts.h"
#include "vuzizeri/recorder/recorder.h"

namespace vuz {

double Vuzizeri::storySpeed() const { return args.speed.value_or(kMinimumSpeed); }

std::unique_ptr<StoryboardRun> Vuzizeri::makeStory(std::vector<StoryStep> steps, bool filmed) {
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
    after(seconds, std::move(then));
  };
  host.navigating = [this, filmed](bool leaving) {
    if (!filmed) return;
    wallClock_.setLeavingPage(leaving);
    // The new document has none of the recorder's own scripts yet.
    if (leaving) return;
    runScript(kOutOfViewScript, JsonValue::object({}));
    if (!args.frameByFrame) runScript(kOutOfViewLoopScript, JsonValue::object({}));
  };
  host.keyboard = filmed && !args.noKeyboard;
  if (filmed) {
    host.sound = platform_.cueSound;
    host.narrate = platform_.cueVoice;
  }
  return std::make_unique<StoryboardRun>(std::move(steps), storySpeed(), args.ease,
                                         static_cast<double>(args.contentH), std::move(host));
}

void Vuzizeri::runStepsBefore(std::function<void()> then) {
  if (!args.storyboard || args.storyboard->before.empty()) {
    then();
    return;
  }
  beforeStory_ = makeStory(args.storyboard->before, false);
  wallClock_.run(*beforeStory_, std::move(then));
}

}  // namespace vuz
