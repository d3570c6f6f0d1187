// The recorder's page scripts in a real web view: the video clock as the
// page sees it, frame by frame, and a storyboard's taps and keys.

#include <gtest/gtest.h>

#include "page_harness.h"
#include "vuzizeri/capture/frame_by_frame.h"
#include "vuzizeri/capture/video_clock.h"
#include "vuzizeri/recorder/page_scripts.h"
#include "vuzizeri/recorder/scripts.h"

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

// A header whose pixels are all in its box is lifted by that box: an icon
// drawn by ::before inside it, or a child's shadow within it. So is an opaque
// plain box of its own below it, beside it. One that paints elsewhere (a
// band under it, a child's shadow or outline reaching out, a child's
// ::before above it, a list's marker beside it, a translucent box below it)
// is lifted with alpha by the box its ink reaches, out to whole pixels, as
// is one that mixes with the page itself (shadow, round corners,
// translucent); it can be left alone in the view. Where its ink cannot be
// told, it is not lifted.
TEST_F(PageScripts, HeadersAreLiftedByTheBoxTheirInkReaches) {
  ASSERT_TRUE(page_.load(R"(<!doctype html><body style="margin:0"><style>
      .h { position: fixed; left: 0; width: 200px; height: 20px; background: #124; }
      .h i { position: absolute; left: 10px; top: 5px; width: 10px; height: 10px; }
      #plain i::before { content: ''; position: absolute; top: 2px; width: 10px; height: 2px;
                         background: #fff; }
      #plain b { display: block; width: 20px; height: 20px; box-shadow: 0 0 0 1px #f00 inset; }
      #band::after { content: ''; position: absolute; left: 0; right: 0; top: 100%;
                     height: 5px; background: #f00; }
      #shadow i { box-shadow: 0 8px 4px #000; }
      #outline i { outline: 2px solid #f00; outline-offset: 4px; }
      #loose span::before { content: ''; position: absolute; top: -3px; width: 5px; height: 5px;
                            background: #f00; }
      .h u { display: block; width: 20px; height: 29.6px; background: #fff; }
      #menu, #soft { top: 170px; width: 90px; }
      #soft { left: 100px; }
      #soft u { background: rgba(255, 255, 255, .5); }</style>
    <div class=h id=plain style="top:0"><i></i><b></b></div>
    <div class=h id=band style="top:30px"></div>
    <div class=h id=shadow style="top:60px"><i></i></div>
    <div class=h id=outline style="top:90px"><i></i></div>
    <div class=h id=loose style="top:120px"><span></span></div>
    <ul class=h id=list style="top:150px; margin:0; padding:0; color:#fff"><li>a</li></ul>
    <div class=h id=menu><u></u></div><div class=h id=soft><u></u></div>)"));
  ASSERT_TRUE(page_.runInOwnWorld(scriptCall(kLiftLayersScript)));
  auto lifted = page_.runInOwnWorld(
      "['plain', 'band', 'shadow', 'outline', 'loose', 'list', 'menu', 'soft'].map(function (id) {"
      "  var h = document.getElementById(id), r = h.getBoundingClientRect();"
      "  return liftLayers([[h, getComputedStyle(h), r]], [], 1).layers.filter(function (x, i) {"
      "    return i % 8 >= 2 && i % 8 != 6; }).join(',');"
      "}).join(' ')");
  ASSERT_TRUE(lifted && lifted->value);
  EXPECT_EQ(lifted->value->string,
            "0,0,200,20,0 0,30,200,55,1 0,53,200,87,1 0,89,200,111,1 0,117,200,140,1 "
            "0,150,200,170,1 0,170,90,190,0,0,170,20,200,0 100,170,190,200,1");
  ASSERT_TRUE(page_.load(R"(<body style="margin:0"><style>
      #t i.turned::before { content: ''; position: absolute; transform: rotate(9deg);
                           width: 4px; height: 4px; background: #f00; }</style>
    <div id=g style="position:fixed; top:10px; left:10px; width:100px; height:20.3px;
      background:rgba(255,255,255,.8); border-radius:8px; box-shadow:0 2px 4px #0004"></div>
    <div id=t style="position:fixed; top:100px; width:100px; height:20px; background:#124">
      <i class=turned></i></div>)"));
  ASSERT_TRUE(page_.runInOwnWorld(scriptCall(kLiftLayersScript)));
  auto glass = page_.runInOwnWorld(
      "var g = document.getElementById('g'), v = function (el) {"
      "  return getComputedStyle(el).visibility[0]; };"
      "var l = liftLayers([[g, getComputedStyle(g), g.getBoundingClientRect()]], [], 2).layers;"
      "var alone = [liftAlone([l[0]]), v(document.body), v(g)];"
      "liftAlone([]);"
      "l.join(',') + ' ' + alone.concat(v(document.body)).join('')");
  ASSERT_TRUE(glass && glass->value);
  EXPECT_EQ(glass->value->string, "1,1,4,4,116,36.5,0,1 1hvv");
  // One that changes every frame, never kept long enough to be hidden, is left to the engine.
  std::string versions;
  for (int i = 0; i < 5; ++i) {
    auto n =
        page_.runInOwnWorld("g.dataset.n = " + std::to_string(i) +
                            "; liftLayers([[g, getComputedStyle(g), g.getBoundingClientRect()]],"
                            " [], 2).layers.length");
    versions += n && n->value ? std::to_string(static_cast<int>(n->value->number)) : "?";
  }
  EXPECT_EQ(versions, "88880");
  // Turned down, it is judged again once something in it changes, even in the judging script.
  auto again = page_.runInOwnWorld(
      "var h = document.getElementById('t'), lift = function () {"
      "  return liftLayers([[h, getComputedStyle(h), h.getBoundingClientRect()]], [], 1)"
      "      .layers.length; };"
      "var before = [lift(), lift()];"
      "h.querySelector('i').className = '';"
      "String(before.concat(lift()))");
  ASSERT_TRUE(again && again->value);
  EXPECT_EQ(again->value->string, "0,0,8");
}

// A storyboard's tap as a finger gives it, and what a page that is not ready
// gets: a disabled control the touches and no click; a page that cancels
// the touch no mouse events; an element under another, a refusal naming
// the other; no match, a refusal. Keys go to the focused field as typing
// gives them.
TEST_F(PageScripts, TapsAndKeysAsAFingerAndAKeyboardGiveThem) {
  ASSERT_TRUE(page_.load(R"(<!doctype html><body style="margin:0"><style>
      body > * { position: absolute; left: 0; width: 100px; height: 40px; }</style>
    <button id=b style="top:0"></button><button id=off disabled style="top:50px"></button>
    <div id=keep style="top:100px"></div><div id=under style="top:150px"></div>
    <div id=capa style="top:140px; width:200px"></div><input id=f style="top:200px">
    <script>
      var log = [];
      ('touchstart touchend mousedown mouseup click keydown keypress beforeinput input keyup')
          .split(' ').forEach(function (t) {
        document.addEventListener(t, function (e) { log.push(t + '@' + e.target.id); }, true);
      });
      keep.addEventListener('touchend', function (e) { e.preventDefault(); });
    </script>)"));
  auto act = [&](const JsonValue& arguments) {
    auto answer = page_.runInOwnWorld(scriptCall(kStoryboardStepScript, arguments));
    if (!answer || answer->thrown || !answer->value) return std::string("no answer");
    const web::ScriptValue& v = *answer->value;
    std::string shown = v.kind == web::ScriptValue::Kind::kString ? v.string : "";
    for (const web::ScriptValue& e : v.elements)
      shown += (shown.empty() ? "" : ",") + (e.kind == web::ScriptValue::Kind::kString
                                                 ? e.string
                                                 : std::to_string(static_cast<int>(e.number)));
    return shown;
  };
  auto log = [&] { return inPage("var l = log.join(' '); log = []; l"); };
  EXPECT_EQ(act(JsonValue::object({{"tap", "#b"}})), "50,20,1");
  EXPECT_EQ(log(), "touchstart@b touchend@b mousedown@b mouseup@b click@b");
  EXPECT_EQ(act(JsonValue::object({{"tap", "#off"}})), "50,70,0");
  EXPECT_EQ(log(), "touchstart@off touchend@off");
  act(JsonValue::object({{"tap", "#keep"}}));
  EXPECT_EQ(log(), "touchstart@keep touchend@keep");
  EXPECT_EQ(act(JsonValue::object({{"tap", "#under"}})), "covered,div#capa");
  EXPECT_EQ(act(JsonValue::object({{"tap", "#nada"}})), "none");
  EXPECT_EQ(log(), "");
  EXPECT_EQ(act(JsonValue::object({{"focus", "#f"}})), "ok");
  EXPECT_EQ(act(JsonValue::object({{"type", JsonValue::list({"o", "i"})}})), "ok");
  EXPECT_EQ(log(),
            "keydown@f keypress@f beforeinput@f input@f keyup@f "
            "keydown@f keypress@f beforeinput@f input@f keyup@f");
  EXPECT_EQ(inPage("f.value"), "oi");
}

}  // namespace
}  // namespace vuz
