#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics/image.h"
#include "platform/web/web_view.h"
#include "vuzizeri/command_line/arguments.h"
#include "vuzizeri/recorder/capture/capture_driver.h"
#include "vuzizeri/recorder/capture/real_time.h"
#include "vuzizeri/recorder/capture/still_parts.h"
#include "vuzizeri/recorder/directing.h"
#include "vuzizeri/recorder/page_script.h"
#include "vuzizeri/recorder/parts.h"
#include "vuzizeri/recorder/phone_frame.h"
#include "vuzizeri/recorder/recording_writer.h"
#include "vuzizeri/recorder/report.h"
#include "vuzizeri/recorder/status_bar.h"
#include "vuzizeri/recorder/storyboard_run.h"

namespace vuz {

// How long after a script's silence the web process's end may still be
// reported for it.
inline constexpr double kWebProcessEndGraceSeconds = 0.5;

// What a person watching the run is told, after each step of it.
struct Progress {
  enum class Phase { kWaiting, kRecording, kFinishing };
  Phase phase = Phase::kWaiting;
  int64_t frames = 0;          // snapshots taken while recording
  double seconds = 0;          // of video so far
  int64_t distinctFrames = 0;  // of those, the ones unlike the snapshot before
  double scrolled = 0;         // of the way to the page's end, 0 to 1
  // Frame by frame only: frames made per second of wall time, and the wall
  // time the rest should take at that rate.
  double rate = 0;
  double secondsLeft = 0;
};

// The platform as the recorder sees it. In the program these are the main
// loop, the monotonic clock, the WebKit view and the MP4 writer; in tests,
// fakes.
struct Platform {
  web::WebView* web = nullptr;
  std::function<double()> now;
  std::function<void(double seconds, std::function<void()> work)> asyncAfter;
  WriterFactory openWriter;
  // Ends the run with status 1. The program's never returns; a test's may,
  // so every caller returns right after it.
  std::function<void(std::string_view message)> fail;
  // Writes the report line and ends the run with status 0. Called from the
  // writer's thread.
  std::function<void(const std::string& line)> report;
  // Told of every step and frame, for a progress line. Empty when nobody is
  // watching: the recorder then keeps no count and no earlier snapshot.
  std::function<void(const Progress&)> progress = nullptr;
  // Told of every start step and every frame made frame by frame, for the
  // guard's stall limit.
  std::function<void()> heartbeat = nullptr;
  // When the run's time limit falls, on `now`'s clock; 0 for none. A real
  // time scroll that would not end before it is refused up front.
  double deadline = 0;
};

// One recording: the page is loaded, sampled, measured, scrolled and
// captured frame by frame into the movie. Every method runs on the main
// thread, one step at a time, each started by the completion of the one
// before.
class Vuzizeri {
 public:
  Vuzizeri(const Arguments& arguments, const PixelSizes& sizes, Platform platform);

  // Start sequence.
  void webViewDidFinish();
  // A navigation failed: before the page ever loaded, the run ends at once.
  void webViewDidFail(const std::string& reason);
  void shapePage(std::function<void()> then);
  // --pre-carregar: the page scrolled through, screen by screen, and back.
  void preload(std::function<void()> then);
  void comecar();
  // --de, --ate, --pausa and the rest: the page's marks found and the page
  // put at the start.
  void directScroll(std::function<void()> then);
  void waitForFonts(double deadline, std::function<void()> then);
  void medirEComecar();
  void rolar(double velocidade);
  // Top colours.
  void amostrarCorDoTopo(std::function<void()> then);
  // A new picture of the page has reached the view.
  void newPicture();

  // The steps the capture drivers share (see capture_driver.h).
  Platform& platform() { return platform_; }
  Progress& progress() { return progress_; }
  void tell(Progress::Phase phase);
  // Tells the stall limit, if any, that the run is moving.
  void beat();
  double snapshotWidthPoints() const;
  // Rows of the video's page area per CSS pixel.
  double rowsPerCssPixel() const;
  // Takes the view's picture for the next frame, drawn straight into the
  // frame's buffer where it can be; the run fails when there is none.
  void snapshotFrame(std::function<void(graphics::ImageRef)> then);
  // Composes the picture into a frame and appends it, stamped by the clock
  // (real time; dropped when the encoder is behind) or at exactly `seconds`
  // and moved up by `shift` (frame by frame). False when the frame could
  // not be written: the run has failed.
  bool gravarQuadro(const graphics::Image& image);
  bool recordFrameAt(const graphics::Image& image, double seconds, const RowShift& shift);
  // Eases the band's colours towards the picture's, as a recorded frame
  // would, without recording it.
  void warmBandColours(const graphics::Image& image) { updateBandColours(image); }
  // One more reading or frame at the end of the scroll (or, when not
  // `atEnd`, the count starts again); true once there have been enough.
  bool countEnd(bool atEnd);
  // Writer set-up and finishing.
  void prepararWriter();
  void terminar();
  std::string outPathInfo() const;
  RunReport runReport() const;
  // How long the movie written so far lasts: from its first frame to the
  // end of its last.
  double videoSeconds() const;
  // The web process is gone: the run fails, unless the file is already
  // being finished, which no longer needs the page.
  void webProcessEnded();
  // A script got no answer: fails with `message` a moment later, unless the
  // web process turns out to have ended, which is then what the run says.
  void failUnlessWebProcessEnds(const std::string& message);
  // Runs one of the recorder's page scripts (page_scripts.h) with
  // `arguments` in the recorder's own script world; `then` gets what it
  // answered (nothing when it answered nothing, or got no answer at all).
  // A script that throws ends the run instead, with "o script NAME falhou:"
  // and what it threw. With no `then`, nobody waits for the answer.
  void runScript(const PageScript& script, const JsonValue& arguments,
                 std::function<void(std::optional<web::ScriptValue>)> then = nullptr);

  // Fixed at creation.
  const Arguments args;
  const int64_t pxW, pxH, bandPx, contentPx;
  // How far the band moves towards each frame's colours: 0.12 a frame at 60
  // frames a second, and as far a second at any other rate.
  const double bandEase =
      args.fps == kDefaultFps ? 0.12 : 1 - std::pow(0.88, kDefaultFps / args.fps);
  const int bandBlur = 4;

  // Recording state.
  std::unique_ptr<RecordingWriter> writer;
  double t0 = 0.0;
  double lastPTS = -1.0;
  int64_t fundo = 0;  // readings (or frames) in a row at the end of the scroll
  std::vector<double> bandCols;
  std::vector<double> bandAlphas;  // with --fundo-transparente, one a column
  int64_t framesWritten = 0;
  // The scroll as it was run: its speed, and its plan when directed.
  double speed = 0;
  std::optional<ScrollPlan> plan;
  // The page's offset at the last reading: where the scroll ended, once the
  // run is finished.
  std::optional<double> lastOffset;
  // --trecho: which part this run records, once the page is measured.
  const std::optional<PartLabel>& part() const { return part_; }
  // --roteiro: the filmed steps as they run, once the recording starts;
  // nullptr without a storyboard.
  StoryboardRun* story() { return story_.get(); }
  // Runs `run` on the wall clock, counting from `origin` (on now()'s
  // clock), a moment every 1/60 s, moving the page as it says; `over` once
  // every step is done.
  void runOnWallClock(StoryboardRun& run, double origin, std::function<void()> over);
  // In real time, when the storyboard's clock started (on now()'s clock),
  // and whether it is going to another page: the video then holds on its
  // last frame.
  double storyOrigin = 0;
  bool leavingPage = false;
  bool storyMoving = false;  // the page is being moved at this moment

 private:
  void handleHeight(const std::optional<web::ScriptValue>& result);
  void runUserScript(std::function<void()> then);
  void waitForElement(std::function<void()> then);
  void lookForElement(double deadline, std::function<void()> then);
  void preloadStep(int64_t screen, std::function<void()> then);
  void awaitQuietNetwork(double deadline, double quietSince, double resources,
                         std::function<void()> then);
  // Takes the next frame's buffer from the writer's pool: the snapshot may be
  // drawn straight into its page rows, so that composition only adds the band.
  web::SnapshotTarget takeFrameBuffer();
  // The page's top band and picture in a frame buffer (the one the snapshot
  // was drawn into, if any), the picture moved up as `shift` says; nullptr
  // when there is no buffer.
  // The frame is `seconds` into the storyboard's clock, for its touches.
  media::PixelBufferHandle composeFrame(const graphics::Image& image, const RowShift& shift,
                                        double seconds);
  void drawTouches(graphics::Canvas& canvas, double seconds);
  // --roteiro: a run of steps for the page, its failures the run's; the
  // filmed ones keep the recorder's scripts in every page they go to.
  std::unique_ptr<StoryboardRun> makeStory(std::vector<StoryStep> steps, double speed, bool filmed);
  // The steps above `antes`, then `then`.
  void runStepsBefore(std::function<void()> then);
  void wallClockMoment(StoryboardRun& run, double origin, std::optional<double> scrollTo,
                       std::function<void()> over);
  // The storyboard's moves go at the given speed, or the slowest usual one.
  double storySpeed() const;
  // The status bar over the band, in the shade its colours call for now.
  void drawStatusBar(graphics::Canvas& canvas);
  // Where the screen's top left corner lies in the frame: (0, 0) but for
  // --moldura.
  int64_t screenX() const { return frame_ ? frame_->screenX : 0; }
  int64_t screenY() const { return frame_ ? frame_->screenY : 0; }
  bool appendFrame(media::PixelBufferHandle buffer, double seconds);
  void updateBandColours(const graphics::Image& image);
  void goToStart(double offset, std::function<void()> then);
  // Calls `then` at the next picture of the view, or after `atMost` seconds.
  void waitForPicture(double atMost, std::function<void()> then);
  // The scroll's plan once the page is measured; nothing for a plain scroll.
  std::optional<ScrollPlan> makePlan(double* speed);
  // --trecho: the part's frames; false, after failing the run, when it would
  // have none.
  bool choosePart();

  Platform platform_;
  std::unique_ptr<CaptureDriver> driver_;  // real time or frame by frame, chosen once
  bool started_ = false;
  bool finishing_ = false;
  Progress progress_;
  media::PixelBufferHandle frameBuffer_;  // the snapshot may be drawn into it
  std::optional<PlanMarks> marks_;        // the directed scroll's, once found
  double startOffset_ = 0;                // where the page stood when sampled
  std::optional<PartLabel> part_;
  // --moldura: the phone around the screen, drawn once and put on every
  // frame. --barra-de-status: where the bar goes, and its shade so far.
  std::optional<FrameLayout> frame_;
  FrameArt frameArt_;
  std::optional<StatusBarLayout> bar_;
  std::optional<BarShade> barShade_;
  // --roteiro: the steps before the recording and the filmed ones, and the
  // move the page follows on its own clock in real time.
  std::unique_ptr<StoryboardRun> beforeStory_, story_;
  double wallMoveBegin_ = -1;
  std::function<void()> pictureWaiter_;
  uint64_t pictureWaits_ = 0;
  // When the first, the one before the last and the last frame written are
  // shown.
  double firstWrittenSeconds_ = 0, previousWrittenSeconds_ = 0, lastWrittenSeconds_ = 0;
};

}  // namespace vuz
