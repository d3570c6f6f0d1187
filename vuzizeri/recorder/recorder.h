#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics/canvas.h"
#include "platform/graphics/image.h"
#include "platform/web/web_view.h"
#include "vuzizeri/command_line/arguments.h"
#include "vuzizeri/movie/recording_writer.h"
#include "vuzizeri/picture/keyboard.h"
#include "vuzizeri/picture/lifted_layers.h"
#include "vuzizeri/picture/phone_frame.h"
#include "vuzizeri/picture/pickers.h"
#include "vuzizeri/picture/scroll_indicator.h"
#include "vuzizeri/picture/status_bar.h"
#include "vuzizeri/picture/still_parts.h"
#include "vuzizeri/recorder/capture_driver.h"
#include "vuzizeri/recorder/page_script.h"
#include "vuzizeri/recorder/progress.h"
#include "vuzizeri/recorder/wall_clock_story.h"
#include "vuzizeri/report/part_labels.h"
#include "vuzizeri/report/report.h"
#include "vuzizeri/scroll/directing.h"
#include "vuzizeri/storyboard/storyboard_run.h"

namespace vuz {

// How long after a script's silence the web process's end may still be
// reported for it.
inline constexpr double kWebProcessEndGraceSeconds = 0.5;

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
  // A target's checks of the finished file at `path`: a line for each rule
  // it breaks. The program's ends the run when the file cannot be read.
  std::function<std::vector<std::string>(const std::string& path)> checkTarget = nullptr;
  // Writes the report line and `findings`, a line each on stderr, and ends
  // the run with status 3: the file is kept, but breaks its target's rules.
  std::function<void(const std::string& line, const std::vector<std::string>& findings)>
      reportBroken = nullptr;
  // Told of every step and frame, for a progress line. Empty when nobody is
  // watching: the recorder then keeps no count and no earlier snapshot.
  std::function<void(const Progress&)> progress = nullptr;
  // Told of every start step and every frame made frame by frame, for the
  // guard's stall limit.
  std::function<void()> heartbeat = nullptr;
  // Told of each sound the filmed storyboard makes (--sons): a touch, or a
  // key (`key`), at `seconds` on the video's clock.
  std::function<void(double seconds, bool key)> cueSound = nullptr;
  // Told when a narrar step's voice starts: the step on `line`.
  std::function<void(double seconds, int line)> cueVoice = nullptr;
  // When the run's time limit falls, on `now`'s clock; 0 for none. A real
  // time scroll that would not end before it is refused up front.
  double deadline = 0;
};

// One recording: the page is loaded, sampled, measured, scrolled and
// captured frame by frame into the movie. Every method runs on the main
// thread, one step at a time, each started by the completion of the one
// before. Its state is its own: the capture driver, made by `drivers`,
// sees it only as a CaptureHost.
class Vuzizeri final : private CaptureHost {
 public:
  Vuzizeri(const Arguments& arguments, const PixelSizes& sizes, Platform platform,
           const CaptureDriverFactory& drivers);
  ~Vuzizeri() override;

  // The view's news: a finished navigation (the first starts the
  // recording), a failed one (before the page ever loaded, the run ends at
  // once), the end of the web process (the run fails, unless the file is
  // already being finished, which no longer needs the page).
  void webViewDidFinish();
  void webViewDidFail(const std::string& reason);
  void webProcessEnded();
  // Asks the page for its height, and once it answers, opens the movie and
  // starts the scroll and the capture.
  void medirEComecar();

  // What the recording holds, read by tests.
  const std::vector<double>& bandColours() const { return bandCols; }
  int64_t endReadingsSoFar() const { return fundo; }
  double lastPresentationTime() const { return lastPTS; }

 private:
  // CaptureHost.
  const CaptureSettings& settings() const override { return capture_; }
  double now() const override { return platform_.now(); }
  void after(double seconds, std::function<void()> work) override;
  web::WebView& view() override { return *platform_.web; }
  void runScript(const PageScript& script, const JsonValue& arguments,
                 std::function<void(std::optional<web::ScriptValue>)> then = nullptr) override;
  void scrollAtSpeed(double speed) override { rolar(speed); }
  void snapshot(std::function<void(graphics::ImageRef)> then) override;
  bool recordFrameNow(const graphics::Image& image) override { return gravarQuadro(image); }
  std::optional<PreparedFrame> prepareFrameAt(const graphics::Image& image, double seconds,
                                              const RowShift& shift) override;
  bool recordPrepared(PreparedFrame frame) override;
  void warmBandColours(const graphics::Image& image, double seconds,
                       const RowShift& shift) override;
  std::vector<int64_t> keptLayers() const override { return layers_.kept(); }
  bool wantsLayersAlone(const std::vector<LayerPlacement>& layers) const override {
    return !layers_.wantedAlone(layers).empty();
  }
  void takeLayersAlone(const std::vector<LayerPlacement>& layers,
                       std::function<void()> then) override;
  double lastFrameTime() const override { return lastPTS; }
  void noteOffset(double offset) override { lastOffset_ = offset; }
  bool countEnd(bool atEnd) override;
  int64_t endCount() const override { return fundo; }
  void finish() override { terminar(); }
  bool watched() const override { return static_cast<bool>(platform_.progress); }
  Progress& progress() override { return progress_; }
  void tell(Progress::Phase phase) override;
  void beat() override;
  StoryboardRun* story() override { return story_.get(); }
  WallClockStory& wallClock() override { return wallClock_; }
  const std::optional<PartLabel>& part() const override { return part_; }

  // Start sequence.
  void shapePage(std::function<void()> then);
  void runUserScript(std::function<void()> then);
  void waitForElement(std::function<void()> then);
  void lookForElement(double deadline, std::function<void()> then);
  // --pre-carregar: the page scrolled through, screen by screen, and back.
  void preload(std::function<void()> then);
  void preloadStep(int64_t screen, std::function<void()> then);
  void awaitQuietNetwork(double deadline, double quietSince, double resources,
                         std::function<void()> then);
  void comecar();
  void waitForFonts(double deadline, std::function<void()> then);
  // --de, --ate, --pausa and the rest: the page's marks found and the page
  // put at the start.
  void directScroll(std::function<void()> then);
  void goToStart(double offset, std::function<void()> then);
  void amostrarCorDoTopo(std::function<void()> then);
  void handleHeight(const std::optional<web::ScriptValue>& result);
  // The scroll's plan once the page is measured; nothing for a plain scroll.
  std::optional<ScrollPlan> makePlan(double* speed);
  // --trecho: the part's frames; false, after failing the run, when it would
  // have none.
  bool choosePart();
  void rolar(double velocidade);
  // A new picture of the page has reached the view.
  void newPicture();
  // Calls `then` at the next picture of the view, or after `atMost` seconds.
  void waitForPicture(double atMost, std::function<void()> then);

  // Frames.
  double snapshotWidthPoints() const;
  // Takes the next frame's buffer from the writer's pool: the snapshot may be
  // drawn straight into its page rows, so that composition only adds the band.
  web::SnapshotTarget takeFrameBuffer();
  // The page's picture in a frame buffer (the one the snapshot was drawn
  // into, if any), moved up as `shift` says, with the touches `seconds` into
  // the storyboard's clock; nothing when there is no buffer. Then the rest:
  // the band in the page's eased top colours, the status bar, the phone.
  std::optional<PreparedFrame> composePage(const graphics::Image& image, const RowShift& shift,
                                           double seconds);
  void finishComposing(PreparedFrame& frame);
  // composePage's layers: the page's fixed bars drawn back where `shift`
  // puts them, and the band's colours read again under a header drawn back;
  // false when one has no picture (the run has failed).
  bool drawLayersBack(PreparedFrame& frame, uint8_t* content, ptrdiff_t bytesPerRow,
                      const RowShift& shift);
  // composePage's storyboard: pickers, the keyboard, touches, highlights
  // and captions over the page at `seconds`.
  void drawStoryboard(graphics::Canvas& canvas, double seconds, double left, double contentTop);
  // --indicador-de-rolagem over the page in `content` (the frame's page
  // rows), moved up as `shift` says.
  void drawScrollIndicator(graphics::Canvas& canvas, uint8_t* content, ptrdiff_t bytesPerRow,
                           const RowShift& shift, double seconds);
  // Where the frame moved up as `shift` says shows the page from (CSS px).
  double shownOffset(const RowShift& shift) const;
  // The status bar over the band, in the shade its colours call for now.
  void drawStatusBar(graphics::Canvas& canvas);
  void updateBandColours(const graphics::Image& image);
  void easeBand(const std::optional<std::vector<uint8_t>>& colours,
                const std::vector<uint8_t>& alphas);
  // Stamped by the clock (real time; dropped when the encoder is behind).
  bool gravarQuadro(const graphics::Image& image);
  bool appendFrame(media::PixelBufferHandle buffer, double seconds);
  // Where the screen's top left corner lies in the frame: (0, 0) but for
  // --moldura.
  int64_t screenX() const { return frame_ ? frame_->screenX : 0; }
  int64_t screenY() const { return frame_ ? frame_->screenY : 0; }

  // Writer set-up and finishing.
  void prepararWriter();
  void terminar();
  std::string outPathInfo() const;
  RunReport runReport() const;
  // How long the movie written so far lasts: from its first frame to the
  // end of its last.
  double videoSeconds() const;
  // --legendas: the storyboard's words beside the video; false when the
  // file could not be written (the run has failed).
  bool writeCaptions();
  // A script got no answer: fails with `message` a moment later, unless the
  // web process turns out to have ended, which is then what the run says.
  void failUnlessWebProcessEnds(const std::string& message);

  // --roteiro: a run of steps for the page, its failures the run's; the
  // filmed ones keep the recorder's scripts in every page they go to.
  std::unique_ptr<StoryboardRun> makeStory(std::vector<StoryStep> steps, bool filmed);
  // The steps above `antes`, then `then`.
  void runStepsBefore(std::function<void()> then);
  // The storyboard's moves go at the given speed, or the slowest usual one.
  double storySpeed() const;

  // Fixed at creation.
  const Arguments args;
  const int64_t pxW, pxH, bandPx, contentPx;
  // How far the band moves towards each frame's colours: 0.12 a frame at 60
  // frames a second, and as far a second at any other rate.
  const double bandEase;
  const int bandBlur = 4;
  const CaptureSettings capture_;
  Platform platform_;
  std::unique_ptr<CaptureDriver> driver_;  // real time or frame by frame, chosen once
  // --moldura: the phone around the screen, drawn once and put on every
  // frame. --barra-de-status: where the bar goes, and its shade so far.
  std::optional<FrameLayout> frame_;
  FrameArt frameArt_;
  std::optional<StatusBarLayout> bar_;
  std::optional<BarShade> barShade_;

  // The run as it goes.
  bool started_ = false;
  bool finishing_ = false;
  Progress progress_;
  std::optional<PlanMarks> marks_;  // the directed scroll's, once found
  double startOffset_ = 0;          // where the page stood when sampled
  std::optional<PartLabel> part_;
  // The scroll as it was run: its speed, and its plan when directed.
  double speed_ = 0;
  std::optional<ScrollPlan> plan_;
  // The page's offset at the last reading: where the scroll ended, once the
  // run is finished.
  std::optional<double> lastOffset_;
  // The page's height as first measured, and the indicator drawn over it.
  double pageHeight_ = 0;
  ScrollIndicator indicator_;
  PickerPictures pickers_;  // --roteiro: the menus and pickers its taps open
  // --roteiro: the steps before the recording and the filmed ones, and the
  // wall clock they run on (in real time, the filmed ones too).
  std::unique_ptr<StoryboardRun> beforeStory_, story_;
  WallClockStory wallClock_;
  std::function<void()> pictureWaiter_;
  uint64_t pictureWaits_ = 0;

  // The movie.
  std::unique_ptr<RecordingWriter> writer;
  media::PixelBufferHandle frameBuffer_;  // the snapshot may be drawn into it
  // --redigir, --redigir-texto: what was covered, counted at the end.
  std::optional<std::pair<int64_t, int64_t>> redacted_;
  // The rules of --destino the finished file breaks.
  std::vector<std::string> findings_;
  std::unique_ptr<KeyboardPicture> keyboard_;  // drawn once per look, on first need
  LayerPictures layers_;  // frame by frame: the headers and tab bars the page left out
  double t0 = 0.0;
  double lastPTS = -1.0;
  int64_t fundo = 0;  // readings (or frames) in a row at the end of the scroll
  std::vector<double> bandCols;
  std::vector<double> bandAlphas;  // with --fundo-transparente, one a column
  int64_t framesWritten_ = 0;
  // When the first, the one before the last and the last frame written are
  // shown.
  double firstWrittenSeconds_ = 0, previousWrittenSeconds_ = 0, lastWrittenSeconds_ = 0;
};

}  // namespace vuz
