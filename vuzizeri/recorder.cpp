#include "vuzizeri/recorder.h"

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
}

void Vuzizeri::newPicture() { driver_->newPicture(); }

bool Vuzizeri::countEnd(bool atEnd) {
  fundo = atEnd ? fundo + 1 : 0;
  return fundo >= kEndReadings;
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
