// The recorder's decisions, driven step by step through fakes of the web
// view, clock, main queue and writer.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <tuple>

#include "vuzizeri/capture/frame_by_frame.h"
#include "vuzizeri/capture/real_time.h"
#include "vuzizeri/movie/recording_writer.h"
#include "vuzizeri/picture/band.h"
#include "vuzizeri/recorder/scripts.h"
#include "vuzizeri/recorder/start_sequence.h"
#include "vuzizeri_fakes.h"

namespace vuz {
namespace {

using testing::Failed;
using testing::numbers;
using testing::Rig;
using testing::solidImage;
using web::ScriptValue;

const std::vector<std::string> kPhone = {"file:///p.html", "390", "844", "3", "47", "/tmp/o.mp4"};

void expectFailure(const std::function<void()>& step, const std::string& message) {
  try {
    step();
    ADD_FAILURE() << "went on instead of failing with " << message;
  } catch (const Failed& failed) {
    EXPECT_EQ(failed.what(), message);
  }
}

// The plain scroll's speed; its script is given the speed as the shortest
// text that reads back as the same double, always with a point.
TEST(StartSequence, SpeedRule) {
  // contentH 700: distances 0, 15000 (60 s at 250 px/s), 25000, 30000, none.
  for (auto [height, speed] : {std::pair{700.0, 250.0},
                               {15700.0, 250.0},
                               {25700.0, 25000.0 / 60},
                               {30700.0, 500.0},
                               {100.0, 250.0}})
    EXPECT_EQ(scrollSpeed(height, 700), speed) << height;
  EXPECT_TRUE(scrollScript(25000.0 / 60).ends_with("\n})(416.6666666666667)"));
  EXPECT_TRUE(scrollScript(250).ends_with("\n})(250.0)"));
}

TEST(StartSequence, WaitsThenSamplesMeasuresOpensScrollsAndCaptures) {
  Rig rig(kPhone);
  rig.recorder->webViewDidFinish();
  ASSERT_EQ(rig.delays, std::vector<double>{3.0});
  EXPECT_TRUE(rig.web.pendingSnapshots.empty()) << "nothing before the 3 s wait";
  rig.runQueued();
  // The page's web fonts first: still loading, then ready.
  rig.web.answerScript(ScriptValue::ofString("loading"));
  EXPECT_EQ(rig.delays.back(), kFontPollSeconds);
  EXPECT_TRUE(rig.web.pendingSnapshots.empty()) << "no sample before the fonts";
  rig.runQueued();
  rig.web.answerScript(ScriptValue::ofString("loaded"));
  EXPECT_DOUBLE_EQ(rig.web.snapshotWidths.at(0), 390.0) << "3 × 390 px at 3 px per point";
  rig.web.answerSnapshot(solidImage(1170, 2391, 0, 0, 255));
  EXPECT_EQ(rig.recorder->bandColours().size(), 3510u);
  EXPECT_EQ(rig.recorder->bandColours()[0], 1.0);
  EXPECT_EQ(rig.web.scripts.back(), kHeightScript);
  rig.web.answerScript(ScriptValue::ofNumber(25797));  // distance 25000
  ASSERT_EQ(rig.requests.size(), 1u);
  EXPECT_EQ(std::tie(rig.requests[0].width, rig.requests[0].height, rig.requests[0].averageBitRate),
            std::make_tuple(1170, 2532, 12442248));  // 1170 × 2532 × 60 × 0.07
  EXPECT_EQ(rig.web.scripts.back(), scrollScript(25000.0 / 60));
  EXPECT_EQ(rig.web.pendingSnapshots.size(), 1u) << "capture starts after the scroll script";
}

TEST(StartSequence, UnusableHeightOrRefusedWriterFails) {
  const std::optional<ScriptValue> answers[] = {ScriptValue::ofString("800"),
                                                ScriptValue::ofNumber(0), ScriptValue::ofNumber(-5),
                                                ScriptValue::ofNumber(NAN), numbers({800})};
  for (const auto& answer : answers) {
    Rig rig(kPhone);
    rig.recorder->medirEComecar();
    expectFailure([&] { rig.web.answerScript(answer); }, "página sem altura");
    EXPECT_TRUE(rig.requests.empty());
  }
  // No answer at all: the web process may have died with the script, and
  // its end, reported a moment later, is the reason to give.
  for (bool processEnds : {false, true}) {
    Rig rig(kPhone);
    rig.recorder->medirEComecar();
    rig.web.answerScript(std::nullopt);
    EXPECT_EQ(rig.delays.back(), kWebProcessEndGraceSeconds);
    if (processEnds)
      expectFailure([&] { rig.recorder->webProcessEnded(); }, "o processo web terminou");
    else
      expectFailure([&] { rig.runQueued(); }, "página sem altura");
    EXPECT_TRUE(rig.requests.empty());
  }
  Rig rig(kPhone);
  rig.refuseWriter = true;
  expectFailure([&] { rig.startRecording(2000); }, "não abriu o writer");
  EXPECT_TRUE(rig.web.pendingSnapshots.empty());
}

TEST(CaptureLoop, EndCondition) {
  EXPECT_TRUE(atEnd(numbers({5})));  // [y] holds when y ≥ −1
  EXPECT_FALSE(atEnd(numbers({-1.5})));
  EXPECT_TRUE(atEnd(numbers({})));  // y 0, m 1
  EXPECT_TRUE(atEnd(numbers({998, 1000})));
  EXPECT_FALSE(atEnd(numbers({997.5, 1000})));
  EXPECT_FALSE(atEnd(numbers({NAN, 1000})));
  EXPECT_FALSE(atEnd(numbers({0, NAN})));
  EXPECT_TRUE(atEnd(std::nullopt));
  EXPECT_TRUE(atEnd(ScriptValue::ofObject()));
  EXPECT_TRUE(atEnd(ScriptValue::ofArray({ScriptValue::ofNumber(0), ScriptValue::ofObject()})));
}

TEST(CaptureLoop, SixtyOneConsecutiveEndReadingsFinish) {
  Rig rig(kPhone);
  rig.startRecording(5000);
  for (int i = 0; i < 60; ++i) rig.iterate(0.02, std::nullopt);
  EXPECT_EQ(rig.recorder->endReadingsSoFar(), 60);
  rig.iterate(0.02, numbers({10, 4000}));
  EXPECT_EQ(rig.recorder->endReadingsSoFar(), 0);
  for (int i = 0; i < 60; ++i) rig.iterate(0.02, numbers({4000, 4000}));
  EXPECT_FALSE(rig.liveWriter->finishing);
  rig.iterate(0.02, numbers({4000, 4000}));
  EXPECT_TRUE(rig.liveWriter->finishing);
  EXPECT_TRUE(rig.web.pendingSnapshots.empty()) << "nothing after the last reading";
  EXPECT_EQ(rig.frames.size(), 122u);
  ASSERT_EQ(rig.reports.size(), 1u);
  EXPECT_EQ(rig.reports[0].substr(0, 14), "ok /tmp/o.mp4 ");
}

// Each iteration starts at the first new picture from 1/60 s − 1 ms after
// the last start, takes one that came up to 3 ms before then, and waits one
// more interval at most; at the page's end it waits for no picture.
TEST(CaptureLoop, StartsAtPicturesWithinThePacing) {
  Rig rig(kPhone);
  rig.startRecording(5000);
  const double earliest = 1.0 / 60 - 0.001;
  size_t started = 1;
  auto answer = [&](double took, double y = 0) {
    rig.clock += took;
    rig.web.answerSnapshot(solidImage(1170, 2391, 255, 255, 255));
    rig.web.answerScript(numbers({y, 4000}));
  };
  auto startedNow = [&] { return rig.web.snapshotWidths.size() == ++started; };
  auto pictureAfter = [&](double seconds) {
    rig.clock += seconds;
    rig.web.newPicture();
  };

  answer(0.005);
  EXPECT_NEAR(rig.delays.back(), earliest + 1.0 / 60 - 0.005, 1e-9) << "the deadline";
  pictureAfter(0.005);  // 10 ms after the start: from an earlier rhythm, no change
  pictureAfter(0.004);  // 14 ms: taken at the earliest start
  EXPECT_NEAR(rig.delays.back(), earliest - 0.014, 1e-9);
  rig.runQueued();  // the deadline's call, stale
  rig.runQueued();
  EXPECT_TRUE(startedNow());
  answer(0.010);
  pictureAfter(0.007);
  EXPECT_TRUE(startedNow()) << "a picture after the earliest start";
  rig.queue.clear();  // calls made stale by that start
  answer(0.004);
  rig.runQueued();
  EXPECT_TRUE(startedNow()) << "no picture: the deadline";
  pictureAfter(0.013);
  answer(0.004);
  EXPECT_TRUE(startedNow()) << "a picture that came during the iteration";
  answer(0.040);
  EXPECT_TRUE(startedNow()) << "past the deadline";
  answer(0.005, 3998);
  EXPECT_NEAR(rig.delays.back(), earliest - 0.005, 1e-9) << "at the end: no deadline";
}

// A missing snapshot fails at once; the web process's end fails the run until
// the file is being finished, which no longer needs the page; a file that
// could not be finished is no recording.
TEST(CaptureLoop, FailuresAndTheWebProcessEnd) {
  Rig rig(kPhone);
  rig.startRecording(5000);
  expectFailure([&] { rig.web.answerSnapshot(nullptr); }, "snapshot falhou");
  expectFailure([&] { rig.recorder->webProcessEnded(); }, "o processo web terminou");

  Rig held(kPhone);
  held.startRecording(5000);
  held.liveWriter->holdFinish = true;
  for (int i = 0; i < 61 && !held.liveWriter->finishing; ++i) held.iterate(0.02, std::nullopt);
  ASSERT_TRUE(held.liveWriter->finishing);
  held.recorder->webProcessEnded();
  held.liveWriter->failureText = "No space left on device";
  expectFailure([&] { held.liveWriter->heldFinish(); },
                "falha ao finalizar: No space left on device");
  EXPECT_TRUE(held.reports.empty());

  // A page script that throws ends the run, saying which.
  Rig thrown({"--quadro-a-quadro", "file:///p.html", "10", "20", "3", "2", "/tmp/o.mp4"});
  thrown.startRecording(118);
  expectFailure([&] { thrown.web.throwFromScript("TypeError: null"); },
                "o script frame falhou: TypeError: null");
}

TEST(FrameComposition, MouldBlursNineTapsWithClampedEdgesAndTruncates) {
  EXPECT_TRUE(mouldPixels({0.5, 0.5}, 4).empty());
  // k = 6, a step at column 3: column 0 sums five of column 0 and 1..4,
  // column 5 five of column 5 and 1..4. A seventh value is ignored.
  std::vector<double> step;
  for (int i = 0; i < 6; ++i) step.insert(step.end(), 3, i >= 3 ? 1.0 : 0.0);
  step.push_back(0.7);
  auto six = mouldPixels(step, 4);
  ASSERT_EQ(six.size(), 24u);
  EXPECT_EQ(six[2], static_cast<uint8_t>(2.0 / 9 * 255));
  EXPECT_EQ(six[4 * 5 + 2], static_cast<uint8_t>(7.0 / 9 * 255));
  EXPECT_EQ(mouldPixels({0.999, 7, -3}, 4), (std::vector<uint8_t>{0, 255, 254, 255}));  // BGRA
  // With opacities: theirs blurred too, and no colour above its opacity.
  EXPECT_EQ(mouldPixels({1, 1, 1, 0.2, 0.2, 0.2}, 0, {1, 0.1}),
            (std::vector<uint8_t>{255, 255, 255, 255, 25, 25, 25, 25}));
}

TEST(FrameComposition, BandAboveContentAndTimesFromTheClock) {
  // scale 1, 4 × 10 CSS px with a 3 px band: band rows 0–2, page rows 3–9.
  Rig rig({"file:///p.html", "4", "10", "1", "3", "/tmp/o.mp4"});
  rig.recorder->webViewDidFinish();  // the wait, the fonts, the top, the height
  rig.runQueued();
  rig.web.answerScript(ScriptValue::ofString("loaded"));
  rig.web.answerSnapshot(solidImage(4, 7, 0, 0, 0));  // sampled black, eases towards blue
  rig.web.answerScript(ScriptValue::ofNumber(7));
  rig.iterate(0, numbers({0, 0}), solidImage(4, 7, 255, 0, 0));
  rig.clock += 0.0004;
  rig.runQueued();
  rig.web.answerSnapshot(solidImage(4, 7, 255, 0, 0));
  ASSERT_EQ(rig.frames.size(), 2u);
  EXPECT_EQ(rig.frames[0].time.value, 0);
  EXPECT_EQ(rig.frames[0].time.timescale, 600);
  EXPECT_EQ(rig.frames[1].time.value, 1);  // 1 ms later: 0.6 ticks, rounded
  const auto& px = rig.frames[0].pixels;
  EXPECT_EQ(px[0], static_cast<uint8_t>(0.12 * 255));  // band blue after one ease
  EXPECT_EQ(px[2], 0);
  EXPECT_EQ(px[3], 255);
  EXPECT_EQ(px[4 * 4 * 3], 255);  // first page row: the snapshot's blue
  EXPECT_EQ(px[4 * 4 * 9 + 12], 255);
}

TEST(FrameComposition, FractionalScaleLeavesTopRowAndDropsWhenNotReady) {
  // scale 1.5, cssH 100, safeTop 1: pxH 150, contentPx 148, bandPx 1.
  Rig rig({"file:///p.html", "2", "100", "1.5", "1", "/tmp/o.mp4"});
  rig.startRecording(99);
  rig.iterate(0, numbers({0, 500}), solidImage(3, 148, 0, 255, 0));
  const auto& px = rig.frames.at(0).pixels;
  const size_t row = 4 * 3;
  EXPECT_EQ(px[0 * row + 3], 0) << "row 0 is never drawn";
  EXPECT_EQ(px[1 * row + 1], 255) << "row 1 is the band";
  EXPECT_EQ(px[2 * row + 1], 255);

  rig.liveWriter->ready = false;
  rig.clock += 0.5;
  rig.runQueued();
  rig.web.answerSnapshot(solidImage(3, 148, 0, 255, 0));
  EXPECT_EQ(rig.frames.size(), 1u);
  EXPECT_DOUBLE_EQ(rig.recorder->lastPresentationTime(), 0.5)
      << "a dropped frame still advances the time";
}

// Frame by frame through the fakes: a 10 × 20 CSS px phone at scale 3 (a
// 2 pt band, so 54 rows of page), on a page of 118 CSS px, 250 px/s.
TEST(FrameByFrame, ExactTimesWholeRowsStillPartsAndWaits) {
  Rig rig({"--quadro-a-quadro", "file:///p.html", "10", "20", "3", "2", "/tmp/o.mp4"});
  // A picture whose rows carry their own number.
  std::vector<uint32_t> rows(30 * 54);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = 0xFF000000u | static_cast<uint32_t>(i / 30);
  const graphics::ImageRef picture =
      graphics::Image::fromPixels(30, 54, reinterpret_cast<uint8_t*>(rows.data()), 120);
  // Due calls, the stale waits for a picture among them.
  auto runDue = [&] {
    while (!rig.queue.empty()) rig.runQueued();
  };
  // A frame's picture is taken, then the page, in one script, says whether
  // anything in it is still on its way and, if not, moves to the next
  // frame's position, which it answers as `next`. When something was, it is
  // polled for, and the frame taken again from the picture that shows it.
  auto takeFrame = [&](int pending, ScriptValue next) {
    rig.web.newPicture();
    rig.web.answerSnapshot(picture);
    if (pending > 0) {
      rig.web.answerScript(numbers({static_cast<double>(pending)}));
      rig.web.answerScript(ScriptValue::ofNumber(pending));
      EXPECT_EQ(rig.delays.back(), kArrivalPollSeconds);
      runDue();
      rig.web.answerScript(ScriptValue::ofNumber(0));
      EXPECT_EQ(rig.delays.back(), kArrivedFrameWait);
      rig.web.newPicture();
      rig.web.answerSnapshot(picture);
    }
    rig.web.answerScript(ScriptValue::ofArray({ScriptValue::ofNumber(0), std::move(next)}));
  };

  // Where each frame scrolls to, the recorder test reads from a real
  // recording (FrameByFrameShowsEachExactPositionAtItsExactTime).
  rig.startRecording(118);  // 100 px to scroll
  // A document without the frame's script (a new one) is given it with the same step.
  rig.web.answerScript(ScriptValue::ofString("frame.js por instalar"));
  EXPECT_TRUE(rig.web.scripts.back().starts_with("[own world] (window.vuzFrame = "));
  rig.web.answerScript(ScriptValue::ofArray(
      {ScriptValue::ofNumber(0), ScriptValue::ofNumber(100), ScriptValue::ofArray({})}));
  // Frame 1 at 4.1667 px is 12.5 rows: 13 rows, the page at 4 px and its
  // picture one row up, but for a header fixed over the first CSS pixel.
  takeFrame(0, ScriptValue::ofArray(
                   {ScriptValue::ofNumber(4), ScriptValue::ofNumber(100), numbers({0, 0, 10, 1})}));
  takeFrame(2, numbers({8, 100}));
  ASSERT_EQ(rig.frames.size(), 2u);
  for (int f = 0; f < 2; ++f) {
    EXPECT_EQ(rig.frames[f].time.value, f * 10) << "exactly i/60 s";
    for (int row : {0, 2, 3, 52, 53}) {
      const int shown = rig.frames[f].pixels[4 * 30 * (6 + row)];
      EXPECT_EQ(shown, f == 0 || row < 3 ? row : std::min(row + 1, 53)) << f << ", row " << row;
    }
  }
  // Something that never arrives is given up after a few seconds.
  rig.web.newPicture();
  rig.web.answerSnapshot(picture);
  rig.web.answerScript(numbers({1}));
  rig.web.answerScript(ScriptValue::ofNumber(1));
  rig.clock += kArrivalWaitSeconds;
  runDue();
  rig.web.answerScript(ScriptValue::ofNumber(1));
  runDue();
  EXPECT_TRUE(rig.web.scripts.back().ends_with(R"(({"check": {"giveUp": true}}))"));
}

}  // namespace
}  // namespace vuz
