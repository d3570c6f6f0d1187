#include "vuzizeri/recorder/recorder.h"

#include <cmath>
#include <utility>

#include "common/shown_text.h"
#include "vuzizeri/recorder/length_window.h"

namespace vuz {

namespace {

CaptureSettings captureSettings(const Arguments& a, const PixelSizes& sizes) {
  CaptureSettings c;
  c.fps = a.fps;
  c.contentH = a.contentH;
  c.pxW = sizes.pxW;
  c.contentPx = sizes.contentPx;
  c.rowsPerCss = static_cast<double>(sizes.contentPx) / static_cast<double>(a.contentH);
  c.frameByFrame = a.frameByFrame;
  // Lifted, a header is drawn from its pixels: only on whole pixels, over an
  // opaque page, and never under a storyboard's taps, which must reach it.
  c.liftLayers = a.frameByFrame && !a.transparentPage && a.storyboardFile.empty() &&
                 c.rowsPerCss == std::round(c.rowsPerCss);
  if (a.target) c.shortestSeconds = lengthWindow(*a.target).shortest;
  return c;
}

}  // namespace

Vuzizeri::Vuzizeri(const Arguments& arguments, const PixelSizes& sizes, Platform platform,
                   const CaptureDriverFactory& drivers)
    : args(arguments),
      pxW(sizes.pxW),
      pxH(sizes.pxH),
      bandPx(sizes.bandPx),
      contentPx(sizes.contentPx),
      bandEase(args.fps == kDefaultFps ? 0.12 : 1 - std::pow(0.88, kDefaultFps / args.fps)),
      capture_(captureSettings(arguments, sizes)),
      platform_(std::move(platform)),
      wallClock_(
          {[this] { return platform_.now(); },
           [this](double seconds, std::function<void()> work) { after(seconds, std::move(work)); },
           [this](const PageScript& script, const JsonValue& arguments,
                  std::function<void(std::optional<web::ScriptValue>)> then) {
             runScript(script, arguments, std::move(then));
           },
           [this] { beat(); }},
          storySpeed(), arguments.ease) {
  driver_ = drivers(*this);
  platform_.web->setNewPictureHandler([this] { newPicture(); });
  const ScreenShape shape = screenShape(args.deviceShape, args.safeTop);
  if (args.frame) frame_ = frameLayout(pxW, pxH, args.scale, shape);
  if (args.statusBar) {
    // Laid out on the screen, then put where the screen lies in the frame,
    // its band from the first row it has.
    bar_ = statusBarLayout(static_cast<double>(args.cssW), static_cast<double>(args.safeTop),
                           args.scale, shape);
    const double bandTop = static_cast<double>(screenY() + pxH - contentPx - bandPx);
    bar_->centreY += bandTop;
    for (double* x : {&bar_->timeCentreX, &bar_->signalX, &bar_->wifiX, &bar_->batteryX})
      *x += static_cast<double>(screenX());
  }
}

Vuzizeri::~Vuzizeri() = default;

void Vuzizeri::after(double seconds, std::function<void()> work) {
  platform_.asyncAfter(seconds, std::move(work));
}

void Vuzizeri::newPicture() {
  if (pictureWaiter_) std::exchange(pictureWaiter_, nullptr)();
  driver_->newPicture();
}

void Vuzizeri::waitForPicture(double atMost, std::function<void()> then) {
  const uint64_t wait = ++pictureWaits_;
  pictureWaiter_ = [this, wait, then] {
    if (wait != pictureWaits_) return;  // the time ran out first
    ++pictureWaits_;
    then();
  };
  platform_.asyncAfter(atMost, [this, wait] {
    if (wait == pictureWaits_ && pictureWaiter_) std::exchange(pictureWaiter_, nullptr)();
  });
}

bool Vuzizeri::countEnd(bool atEnd) {
  fundo = atEnd ? fundo + 1 : 0;
  return fundo >= endReadings(args.fps);
}

void Vuzizeri::runScript(const PageScript& script, const JsonValue& arguments,
                         std::function<void(std::optional<web::ScriptValue>)> then) {
  // Nobody may wait for the answer; a script that throws still ends the run.
  if (!then) {
    platform_.web->runInOwnWorld(
        scriptCall(script, arguments),
        [this, name = std::string(script.name)](const std::string& thrown) {
          platform_.fail("o script " + name + " falhou: " + shownText(thrown, 200));
        });
    return;
  }
  platform_.web->evaluateInOwnWorld(
      scriptCall(script, arguments),
      [this, name = std::string(script.name), then = std::move(then)](web::ScriptAnswer answer) {
        if (answer.thrown) {
          platform_.fail("o script " + name + " falhou: " + shownText(*answer.thrown, 200));
          return;
        }
        then(std::move(answer.value));
      });
}

double Vuzizeri::snapshotWidthPoints() const {
  double s = platform_.web->backingScaleFactor();
  if (!(s > 0)) s = 2.0;
  return args.scale * static_cast<double>(args.cssW) / s;
}

void Vuzizeri::beat() {
  if (platform_.heartbeat) platform_.heartbeat();
}

void Vuzizeri::tell(Progress::Phase phase) {
  progress_.phase = phase;
  if (platform_.progress) platform_.progress(progress_);
}

}  // namespace vuz
