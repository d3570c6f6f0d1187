// The recorder's page scripts in a real web view: the video clock as the
// page sees it, frame by frame.

#include <gtest/gtest.h>

#include "page_harness.h"
#include "vuzizeri/recorder/capture/frame_by_frame.h"
#include "vuzizeri/recorder/capture/video_clock.h"
#include "vuzizeri/recorder/page_scripts.h"

namespace vuz {
namespace {

// What the page logs, each entry its name and the page's clock in ms since
// `arm()`, with a "!" where Date is not a whole ms that moves with
// performance.now().
constexpr char kClockPage[] = R"(<!doctype html><body><script>
  var log = [], start = 0, offset = null;
  var note = function (name, t) {
    var now = performance.now(), date = Date.now();
    if (offset === null) offset = date - now;
    var agrees = Number.isInteger(date) && Math.abs(date - now - offset) < 1 &&
                 new Date().getTime() == date;
    log.push(name + ' ' + (t - start).toFixed(2) + (agrees ? '' : '!'));
  };
  var arm = function () {
    start = performance.now();
    setTimeout(function () { note('A', performance.now()); }, 40);
    setTimeout(function () { note('B', performance.now()); }, 20);
    setTimeout(function () {
      note('C', performance.now());
      setTimeout(function () { note('D', performance.now()); }, 0);
    }, 0);
    var fired = 0, interval = setInterval(function () {
      note('I', performance.now());
      if (++fired == 3) clearInterval(interval);
    }, 15);
    requestAnimationFrame(function frame(t) { note('F', t); requestAnimationFrame(frame); });
  };
</script></body>)";

class PageScripts : public ::testing::Test {
 protected:
  PageHarness page_{videoClockScript()};

  std::string inPage(const std::string& script) {
    auto answer = page_.runInPage(script);
    if (!answer) return "no answer";
    if (answer->thrown) return "threw " + *answer->thrown;
    return answer->value && answer->value->kind == web::ScriptValue::Kind::kString
               ? answer->value->string
               : "not a string";
  }
  // The recorder's step for a frame at `seconds`, the clock moved `ticks`
  // sixtieths of a second on (the first starts it).
  void frame(double seconds, int64_t ticks = 1) {
    auto answer = page_.runInOwnWorld(scriptCall(
        kFrameScript, JsonValue::object({{"step", frameStep(std::nullopt, seconds, ticks)}})));
    ASSERT_TRUE(answer && !answer->thrown) << (answer ? *answer->thrown : "no answer");
  }
};

// Timers fire in order, each at its own time, however long the machine takes
// between frames; animation frames run once a frame at the frame's time; Date
// moves with performance.now().
TEST_F(PageScripts, TimersAnimationFramesAndDateFollowTheVideosClock) {
  ASSERT_TRUE(page_.load(kClockPage));
  frame(0);  // starts the clock
  EXPECT_EQ(inPage("arm(); log.join(', ')"), "");
  page_.wait(0.2);
  EXPECT_EQ(inPage("(performance.now() - start).toFixed(2)"), "0.00")
      << "the clock moved between frames";
  frame(1 / 60.0);
  page_.wait(0.1);
  frame(2 / 60.0);
  EXPECT_EQ(inPage("log.join(', ')"),
            "C 0.00, D 0.00, I 15.00, F 16.67, B 20.00, I 30.00, F 33.33");
  frame(4 / 60.0, 2);  // a frame skipped: its timers and animation frame run all the same
  EXPECT_EQ(inPage("log.slice(7).join(', ')"), "A 40.00, I 45.00, F 50.00, F 66.67");
}

// An animation frame the page asked for just before the clock starts runs at
// the start, at its time, and only once: not again when the engine's own
// frame comes.
TEST_F(PageScripts, AnAnimationFrameAskedForBeforeTheStartRunsAtIt) {
  ASSERT_TRUE(page_.load(kClockPage));
  EXPECT_EQ(
      inPage("var runs = 0, atTheStart = false;"
             "requestAnimationFrame(function (t) { ++runs; atTheStart = t == performance.now(); });"
             "document.dispatchEvent(new Event('" +
             std::string(kVideoClockEvent) +
             "'));"
             "String([runs, atTheStart])"),
      "1,true");
  page_.wait(0.2);
  EXPECT_EQ(inPage("String(runs)"), "1");
}

}  // namespace
}  // namespace vuz
