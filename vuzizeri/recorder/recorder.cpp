#include "vuzizeri/recorder/recorder.h"

#include <utility>

#include "common/shown_text.h"

namespace vuz {

Vuzizeri::Vuzizeri(const Arguments& arguments, const PixelSizes& sizes, Platform platform)
    : args(arguments),
      pxW(sizes.pxW),
      pxH(sizes.pxH),
      bandPx(sizes.bandPx),
      contentPx(sizes.contentPx),
      platform_(std::move(platform)),
      driver_(arguments.frameByFrame ? frameByFrameDriver(*this) : realTimeDriver(*this)) {
  platform_.web->setNewPictureHandler([this] { newPicture(); });
  const ScreenShape shape = screenShape(args);
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
  if (!then) {
    platform_.web->evaluateInOwnWorld(scriptCall(script, arguments), nullptr);
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

double Vuzizeri::rowsPerCssPixel() const {
  return static_cast<double>(contentPx) / static_cast<double>(args.contentH);
}

void Vuzizeri::beat() {
  if (platform_.heartbeat) platform_.heartbeat();
}

void Vuzizeri::tell(Progress::Phase phase) {
  progress_.phase = phase;
  if (platform_.progress) platform_.progress(progress_);
}

}  // namespace vuz
