// The recorder's decisions, driven step by step through fakes of the web
// view, clock, main queue and writer.

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include "tests/vuzizeri_fakes.h"
#include "vuzizeri/capture_loop.h"
#include "vuzizeri/finishing.h"
#include "vuzizeri/frame_composition.h"
#include "vuzizeri/scripts.h"
#include "vuzizeri/start_sequence.h"
#include "vuzizeri/top_colours.h"
#include "vuzizeri/writer_setup.h"

namespace vuz {
namespace {

using testing::Failed;
using testing::numbers;
using testing::Rig;
using testing::solidImage;
using web::ScriptValue;

const std::vector<std::string> kPhone = {"file:///p.html", "390", "844", "3", "47", "/tmp/o.mp4"};

TEST(Scripts, AreExactText) {
  EXPECT_EQ(std::string(kHeightScript).size(), 135u);
  EXPECT_EQ(std::string(kPositionScript).size(), 112u);
  EXPECT_EQ(std::string(kScrollScriptPrefix).size(), 518u);
  EXPECT_EQ(std::string(kHeightScript).back(), ')');
  std::string scroll = scrollScript(250);
  EXPECT_EQ(scroll.substr(scroll.size() - 10), "\n})(250.0)");
}

TEST(Scripts, SpeedIsShortestRoundTrip) {
  EXPECT_EQ(shortestDecimal(250), "250.0");
  EXPECT_EQ(shortestDecimal(500), "500.0");
  EXPECT_EQ(shortestDecimal(25000.0 / 60), "416.6666666666667");
  EXPECT_EQ(std::stod(shortestDecimal(1234.5678 / 7)), 1234.5678 / 7);
}

TEST(StartSequence, SpeedRule) {
  // contentH 700: distances 0, 6000, 15000, 25000, 30000 and a short page.
  EXPECT_EQ(scrollSpeed(700, 700), 250.0);
  EXPECT_EQ(scrollSpeed(6700, 700), 250.0);
  EXPECT_EQ(scrollSpeed(15700, 700), 250.0);
  EXPECT_EQ(scrollSpeed(25700, 700), 25000.0 / 60);
  EXPECT_EQ(scrollSpeed(30700, 700), 500.0);
  EXPECT_EQ(scrollSpeed(100, 700), 250.0);
}

TEST(StartSequence, RunsSampleHeightWriterScrollCaptureInOrder) {
  Rig rig(kPhone);
  rig.recorder->webViewDidFinish();
  ASSERT_EQ(rig.delays, std::vector<double>{3.0});
  EXPECT_TRUE(rig.web.pendingSnapshots.empty()) << "nothing before the 3 s wait";
  rig.runQueued();

  // The sample snapshot asks for the output width in points.
  ASSERT_EQ(rig.web.pendingSnapshots.size(), 1u);
  EXPECT_DOUBLE_EQ(rig.web.snapshotWidths[0], 390.0);  // 3 × 390 / 3
  rig.web.answerSnapshot(solidImage(1170, 2391, 0, 0, 255));
  EXPECT_EQ(rig.recorder->bandCols.size(), 3510u);
  EXPECT_EQ(rig.recorder->bandCols[0], 1.0);

  ASSERT_EQ(rig.web.pendingScripts.size(), 1u);
  EXPECT_EQ(rig.web.pendingScripts[0].script, kHeightScript);
  rig.web.answerScript(ScriptValue::ofNumber(25797));  // distance 25000

  ASSERT_EQ(rig.requests.size(), 1u);
  EXPECT_EQ(rig.requests[0].width, 1170);
  EXPECT_EQ(rig.requests[0].height, 2532);
  EXPECT_EQ(rig.requests[0].averageBitRate, averageBitRate(1170, 2532));
  EXPECT_EQ(rig.web.scripts.back(), scrollScript(25000.0 / 60));
  EXPECT_EQ(rig.web.pendingSnapshots.size(), 1u) << "capture starts after the scroll script";
}

TEST(StartSequence, NoBandMeansNoSampleSnapshot) {
  Rig rig({"file:///p.html", "390", "844", "3", "abc", "/tmp/o.mp4"});
  rig.recorder->webViewDidFinish();
  rig.runQueued();
  EXPECT_TRUE(rig.web.pendingSnapshots.empty());
  ASSERT_EQ(rig.web.pendingScripts.size(), 1u);
  EXPECT_EQ(rig.web.pendingScripts[0].script, kHeightScript);
}

TEST(StartSequence, LaterNavigationsStartNothing) {
  Rig rig(kPhone);
  rig.recorder->webViewDidFinish();
  rig.recorder->webViewDidFinish();
  EXPECT_EQ(rig.queue.size(), 1u);
}

TEST(StartSequence, UnusableHeightFailsBeforeTheWriter) {
  const std::optional<ScriptValue> answers[] = {
      std::nullopt, ScriptValue::ofString("800"), ScriptValue::ofNumber(0),
      ScriptValue::ofNumber(-5), ScriptValue::ofNumber(NAN), numbers({800})};
  for (const auto& answer : answers) {
    Rig rig({"file:///p.html", "390", "844", "3", "0", "/tmp/o.mp4"});
    rig.recorder->medirEComecar();
    try {
      rig.web.answerScript(answer);
      ADD_FAILURE() << "accepted a height";
    } catch (const Failed& failed) {
      EXPECT_STREQ(failed.what(), "página sem altura");
    }
    EXPECT_TRUE(rig.requests.empty());
  }
}

TEST(StartSequence, RefusedWriterFails) {
  Rig rig({"file:///p.html", "390", "844", "3", "0", "/tmp/o.mp4"});
  rig.refuseWriter = true;
  rig.recorder->medirEComecar();
  EXPECT_THROW(rig.web.answerScript(ScriptValue::ofNumber(2000)), Failed);
  EXPECT_TRUE(rig.web.pendingSnapshots.empty());
}

TEST(CaptureLoop, EndCondition) {
  EXPECT_TRUE(atEnd(numbers({5})));       // [y] holds when y ≥ −1
  EXPECT_FALSE(atEnd(numbers({-1.5})));
  EXPECT_TRUE(atEnd(numbers({})));        // y 0, m 1
  EXPECT_TRUE(atEnd(numbers({998, 1000})));
  EXPECT_FALSE(atEnd(numbers({997.5, 1000})));
  EXPECT_FALSE(atEnd(numbers({NAN, 1000})));
  EXPECT_FALSE(atEnd(numbers({0, NAN})));
  EXPECT_TRUE(atEnd(std::nullopt));
  EXPECT_TRUE(atEnd(ScriptValue::ofString("[0, 1000]")));
  EXPECT_TRUE(atEnd(ScriptValue::ofObject()));
  EXPECT_TRUE(atEnd(ScriptValue::ofArray({ScriptValue::ofNumber(0), ScriptValue::ofObject()})));
}

TEST(CaptureLoop, PacingFromIterationStart) {
  Rig rig(kPhone);
  rig.recorder->medirEComecar();
  rig.web.answerScript(ScriptValue::ofNumber(5000));
  auto iterate = [&](double seconds) {
    rig.clock += seconds;
    rig.web.answerSnapshot(solidImage(1170, 2391, 255, 255, 255));
    rig.web.answerScript(numbers({0, 4000}));
  };
  iterate(0.020);  // late: the next starts at once
  EXPECT_TRUE(rig.queue.empty());
  EXPECT_EQ(rig.web.pendingSnapshots.size(), 1u);
  iterate(0.016);  // 0.67 ms left: not worth a wait
  EXPECT_TRUE(rig.queue.empty());
  iterate(0.010);
  ASSERT_EQ(rig.delays.size(), 1u);
  EXPECT_NEAR(rig.delays[0], 1.0 / 60 - 0.010, 1e-9);
  EXPECT_TRUE(rig.web.pendingSnapshots.empty());
}

TEST(CaptureLoop, SixtyOneConsecutiveEndReadingsFinish) {
  Rig rig(kPhone);
  rig.recorder->medirEComecar();
  rig.web.answerScript(ScriptValue::ofNumber(5000));
  auto iterate = [&](std::optional<ScriptValue> answer) {
    rig.clock += 0.02;
    rig.web.answerSnapshot(solidImage(1170, 2391, 255, 255, 255));
    rig.web.answerScript(std::move(answer));
  };
  for (int i = 0; i < 60; ++i) iterate(std::nullopt);
  EXPECT_EQ(rig.recorder->fundo, 60);
  iterate(numbers({10, 4000}));
  EXPECT_EQ(rig.recorder->fundo, 0);
  for (int i = 0; i < 60; ++i) iterate(numbers({4000, 4000}));
  EXPECT_FALSE(rig.finished);
  iterate(numbers({4000, 4000}));
  EXPECT_TRUE(rig.finished);
  EXPECT_TRUE(rig.web.pendingSnapshots.empty()) << "nothing after the last reading";
  EXPECT_EQ(rig.frames.size(), 122u);
  ASSERT_EQ(rig.reports.size(), 1u);
  EXPECT_EQ(rig.reports[0].substr(0, 14), "ok /tmp/o.mp4 ");
}

TEST(CaptureLoop, MissingSnapshotFails) {
  Rig rig(kPhone);
  rig.recorder->medirEComecar();
  rig.web.answerScript(ScriptValue::ofNumber(5000));
  EXPECT_THROW(rig.web.answerSnapshot(nullptr), Failed);
}

TEST(CaptureLoop, FailedWriterIsNotReportedAsSuccess) {
  Rig rig(kPhone);
  rig.recorder->medirEComecar();
  rig.web.answerScript(ScriptValue::ofNumber(5000));
  rig.liveWriter->failureText = "No space left on device";
  rig.recorder->fundo = 60;
  rig.web.answerSnapshot(solidImage(1170, 2391, 255, 255, 255));
  try {
    rig.web.answerScript(std::nullopt);
    ADD_FAILURE();
  } catch (const Failed& failed) {
    EXPECT_STREQ(failed.what(), "falha ao finalizar: No space left on device");
  }
  EXPECT_TRUE(rig.reports.empty());
}

TEST(TopColours, MedianOfTopThreeRowsPerChannel) {
  // Column 0: (10,200,30) (20,100,40) (30,150,50) → (20,150,40).
  // Column 1: a red line over white → white.
  const uint8_t bgra[] = {30, 200, 10, 255, 0, 0, 255, 255,      //
                          40, 100, 20, 255, 255, 255, 255, 255,  //
                          50, 150, 30, 255, 255, 255, 255, 255,  //
                          0, 0, 0, 255, 0, 0, 0, 255};
  auto colours = coresDoTopo(*graphics::Image::fromPixels(2, 4, bgra, 8));
  ASSERT_TRUE(colours);
  EXPECT_EQ(*colours, (std::vector<uint8_t>{20, 150, 40, 255, 255, 255}));

  auto oneRow = coresDoTopo(*graphics::Image::fromPixels(2, 1, bgra, 8));
  EXPECT_EQ(*oneRow, (std::vector<uint8_t>{10, 200, 30, 255, 0, 0}));
  auto twoRows = coresDoTopo(*graphics::Image::fromPixels(2, 2, bgra, 8));
  EXPECT_EQ(*twoRows, (std::vector<uint8_t>{20, 100, 40, 255, 255, 255}));
  // Premultiplied: a transparent pixel is black.
  auto clear = coresDoTopo(*solidImage(3, 3, 0, 0, 0, 0));
  EXPECT_EQ(*clear, std::vector<uint8_t>(9, 0));
}

TEST(TopColours, FailedSampleLeavesBandEmptyAndGoesOn) {
  Rig rig(kPhone);
  bool continued = false;
  rig.recorder->amostrarCorDoTopo([&] { continued = true; });
  rig.web.answerSnapshot(nullptr);
  EXPECT_TRUE(continued);
  EXPECT_TRUE(rig.recorder->bandCols.empty());
}

TEST(FrameComposition, EasingAndReplacement) {
  std::vector<double> band;
  easeBandColours(band, {0, 128, 255}, 0.12);
  EXPECT_EQ(band, (std::vector<double>{0.0, 0.5019607843137255, 1.0}));
  easeBandColours(band, {255, 128, 0}, 0.12);
  EXPECT_DOUBLE_EQ(band[0], 0.12);
  EXPECT_DOUBLE_EQ(band[2], 0.88);
  easeBandColours(band, {1, 2, 3, 4, 5, 6}, 0.12);  // another width: replaced
  EXPECT_EQ(band.size(), 6u);
  EXPECT_DOUBLE_EQ(band[5], 6 / 255.0);
}

TEST(FrameComposition, MouldBlursNineTapsWithClampedEdges) {
  EXPECT_TRUE(mouldPixels({0.5, 0.5}, 4).empty());
  // k = 1: its own colour. 7 values: k = 2, the seventh ignored.
  EXPECT_EQ(mouldPixels({1.0, 0.0, 0.5}, 4), (std::vector<uint8_t>{127, 0, 255, 255}));
  EXPECT_EQ(mouldPixels({1, 1, 1, 0, 0, 0, 0.7}, 4).size(), 8u);
  // k = 2: column 0 is five times itself and four times column 1.
  auto two = mouldPixels({1, 1, 1, 0, 0, 0}, 4);
  EXPECT_EQ(two[2], static_cast<uint8_t>(5.0 / 9 * 255));
  EXPECT_EQ(two[6], static_cast<uint8_t>(4.0 / 9 * 255));
  // k = 6, a step at column 3: column 0 sums five of column 0 and 1..4.
  std::vector<double> step;
  for (int i = 0; i < 6; ++i) step.insert(step.end(), 3, i >= 3 ? 1.0 : 0.0);
  auto six = mouldPixels(step, 4);
  EXPECT_EQ(six[2], static_cast<uint8_t>(2.0 / 9 * 255));
  EXPECT_EQ(six[4 * 5 + 2], static_cast<uint8_t>(7.0 / 9 * 255));
  // Truncation and clamping at 255.
  EXPECT_EQ(mouldPixels({1, 1, 1}, 4)[0], 255);
  EXPECT_EQ(mouldPixels({0.999, 0.999, 0.999}, 4)[0], 254);
  EXPECT_EQ(mouldPixels({7, -3, 0.5}, 4), (std::vector<uint8_t>{127, 0, 255, 255}));
}

TEST(FrameComposition, BandAboveContentAndTimesFromTheClock) {
  // scale 1, 4 × 10 CSS px with a 3 px band: band rows 0–2, page rows 3–9.
  Rig rig({"file:///p.html", "4", "10", "1", "3", "/tmp/o.mp4"});
  rig.recorder->medirEComecar();
  rig.web.answerScript(ScriptValue::ofNumber(7));
  rig.recorder->bandCols.assign(12, 0.0);  // sampled black, eases towards blue
  rig.web.answerSnapshot(solidImage(4, 7, 255, 0, 0));
  rig.clock += 0.0004;
  rig.web.answerScript(numbers({0, 0}));
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
  EXPECT_EQ(rig.recorder->pxH, 150);
  EXPECT_EQ(rig.recorder->contentPx, 148);
  EXPECT_EQ(rig.recorder->bandPx, 1);
  rig.recorder->medirEComecar();
  rig.web.answerScript(ScriptValue::ofNumber(99));
  rig.web.answerSnapshot(solidImage(3, 148, 0, 255, 0));
  const auto& px = rig.frames.at(0).pixels;
  const size_t row = 4 * 3;
  EXPECT_EQ(px[0 * row + 3], 0) << "row 0 is never drawn";
  EXPECT_EQ(px[1 * row + 1], 255) << "row 1 is the band";
  EXPECT_EQ(px[2 * row + 1], 255);

  rig.liveWriter->ready = false;
  rig.clock += 0.5;
  rig.web.answerScript(numbers({0, 500}));
  rig.web.answerSnapshot(solidImage(3, 148, 0, 255, 0));
  EXPECT_EQ(rig.frames.size(), 1u);
  EXPECT_DOUBLE_EQ(rig.recorder->lastPTS, 0.5) << "a dropped frame still advances the time";
}

TEST(WriterSetup, BitRate) {
  EXPECT_EQ(averageBitRate(1, 1), 4);
  EXPECT_EQ(averageBitRate(3, 3), 37);
  EXPECT_EQ(averageBitRate(1000, 1000), 4200000);
  EXPECT_FALSE(averageBitRate(INT64_MAX / 2, 3));
}

TEST(Finishing, ReportLineIgnoresTheLocale) {
  const char* previous = std::setlocale(LC_ALL, "pt_BR.UTF-8");
  EXPECT_EQ(outPathInfo("meu vídeo.mp4", 880, 7.34), "meu vídeo.mp4 880 bytes, 7.3s");
  EXPECT_EQ(outPathInfo("a/b.mp4", 1, 9.96), "a/b.mp4 1 bytes, 10.0s");
  EXPECT_EQ(outPathInfo("x", 0, 0.04), "x 0 bytes, 0.0s");
  EXPECT_EQ(outPathInfo("x", 0, -1.0), "x 0 bytes, -1.0s");
  EXPECT_EQ(fileSizeOrZero("/nonexistent/file.mp4"), 0);
  if (previous) std::setlocale(LC_ALL, "C");
}

}  // namespace
}  // namespace vuz
