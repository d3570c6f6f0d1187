#include "vuzizeri/recorder/frame_composition.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/canvas.h"
#include "platform/media/pixel_convert.h"
#include "vuzizeri/recorder/frame_budget.h"
#include "vuzizeri/recorder/recorder.h"
#include "vuzizeri/recorder/top_colours.h"

namespace vuz {

void easeBandColours(std::vector<double>& bandCols, const std::vector<uint8_t>& sample,
                     double ease) {
  if (sample.size() != bandCols.size()) {
    bandCols.resize(sample.size());
    for (size_t i = 0; i < sample.size(); ++i) bandCols[i] = sample[i] / 255.0;
    return;
  }
  for (size_t i = 0; i < sample.size(); ++i)
    bandCols[i] = bandCols[i] + (sample[i] / 255.0 - bandCols[i]) * ease;
}

std::vector<uint8_t> mouldPixels(const std::vector<double>& bandCols, int radius,
                                 const std::vector<double>& bandAlphas) {
  const int64_t k = static_cast<int64_t>(bandCols.size() / 3);
  if (k < 1) return {};
  const bool withAlpha = bandAlphas.size() == static_cast<size_t>(k);
  const double taps = 2.0 * radius + 1;
  auto byte = [](double v) { return static_cast<uint8_t>(v < 255 ? (v > 0 ? v : 0) : 255); };
  std::vector<uint8_t> pixels(4 * static_cast<size_t>(k), 255);
  for (int64_t i = 0; i < k; ++i) {
    double sum[4] = {0, 0, 0, 0};
    for (int o = -radius; o <= radius; ++o) {
      int64_t j = std::clamp<int64_t>(i + o, 0, k - 1);
      for (int c = 0; c < 3; ++c) sum[c] += bandCols[3 * j + c];
      if (withAlpha) sum[3] += bandAlphas[j];
    }
    const uint8_t alpha = withAlpha ? byte(sum[3] / taps * 255.0) : 255;
    // RGB in, BGRA out: cairo's byte order; premultiplied, so no colour
    // exceeds the opacity.
    for (int c = 0; c < 3; ++c)
      pixels[4 * i + (2 - c)] = std::min(byte(sum[c] / taps * 255.0), alpha);
    pixels[4 * i + 3] = alpha;
  }
  return pixels;
}

double nextPresentationTime(double lastPTS, double elapsed) {
  return std::max(lastPTS + 0.001, elapsed);
}

void Vuzizeri::updateBandColours(const graphics::Image& image) {
  if (auto sample = coresDoTopo(image)) easeBandColours(bandCols, *sample, bandEase);
  if (args.transparentPage) easeBandColours(bandAlphas, topAlphas(image), bandEase);
}

void Vuzizeri::snapshotFrame(std::function<void(graphics::ImageRef)> then) {
  const web::SnapshotTarget target = takeFrameBuffer();
  // The picture is drawn now; only its delivery comes later.
  budget::Span drawing(budget::Phase::kDraw);
  platform_.web->takeSnapshot(
      snapshotWidthPoints(),
      [this, then = std::move(then)](graphics::ImageRef image) {
        if (!image) {
          platform_.fail("snapshot falhou");
          return;
        }
        then(std::move(image));
      },
      target);
}

web::SnapshotTarget Vuzizeri::takeFrameBuffer() {
  frameBuffer_ = writer->createPixelBuffer();
  if (!frameBuffer_) return {};
  return {frameBuffer_->baseAddress() +
              (screenY() + pxH - contentPx) * frameBuffer_->bytesPerRow() + 4 * screenX(),
          static_cast<int>(pxW), static_cast<int>(contentPx), frameBuffer_->bytesPerRow()};
}

void Vuzizeri::drawStatusBar(graphics::Canvas& canvas) {
  barShade_ = barShade(barShade_, bandLightness(bandCols));
  vuz::drawStatusBar(canvas, *bar_, *barShade_, args.time);
}

void Vuzizeri::drawTouches(graphics::Canvas& canvas, double seconds) {
  const double scale = rowsPerCssPixel();
  const double left = static_cast<double>(screenX());
  const double top = static_cast<double>(screenY() + pxH - contentPx);
  for (const Touch& touch : story_->touches()) {
    const double opacity = touchOpacity(seconds - touch.seconds);
    if (opacity <= 0) continue;
    const double x = left + touch.x * scale, y = top + touch.y * scale;
    const double radius = kTouchRadiusCss * scale;
    // iOS's own: a grey disc with a lighter rim.
    canvas.fillSector(x, y, radius, 0, 2 * M_PI, {0.5, 0.5, 0.5, 0.55 * opacity});
    canvas.strokeArc(x, y, radius - scale, 0, 2 * M_PI, 2 * scale, {1, 1, 1, 0.5 * opacity});
  }
}

media::PixelBufferHandle Vuzizeri::composeFrame(const graphics::Image& image, const RowShift& shift,
                                                double seconds) {
  budget::Span composing(budget::Phase::kCompose);
  media::PixelBufferHandle buffer = std::move(frameBuffer_);
  if (!buffer) buffer = writer->createPixelBuffer();
  if (!buffer) return nullptr;

  if (auto canvas = graphics::Canvas::overMemory(buffer->baseAddress(), buffer->width(),
                                                 buffer->height(), buffer->bytesPerRow())) {
    // Rows from the screen's top: maybe one undrawn row, then the band, then
    // the page in the lowest contentPx rows.
    const double left = static_cast<double>(screenX());
    const double contentTop = static_cast<double>(screenY() + pxH - contentPx);
    if (bandPx >= 1) {
      updateBandColours(image);
      std::vector<uint8_t> mould = mouldPixels(bandCols, bandBlur, bandAlphas);
      if (!mould.empty()) {
        const int k = static_cast<int>(mould.size() / 4);
        if (auto mouldImage = graphics::Image::fromPixels(k, 1, mould.data(), 4 * k))
          canvas->drawImage(*mouldImage, left, contentTop - static_cast<double>(bandPx),
                            static_cast<double>(pxW), static_cast<double>(bandPx));
      }
      if (bar_) drawStatusBar(*canvas);
    }
    // Unless the snapshot was drawn in place already.
    uint8_t* content = buffer->baseAddress() +
                       static_cast<ptrdiff_t>(contentTop) * buffer->bytesPerRow() + 4 * screenX();
    if (image.row(0) != content)
      canvas->drawImage(image, left, contentTop, static_cast<double>(pxW),
                        static_cast<double>(contentPx));
    canvas->flush();
    moveUpAroundStillParts(content, buffer->bytesPerRow(), static_cast<int>(pxW),
                           static_cast<int>(contentPx), shift.rowsUp, shift.still);
    if (story_ && !story_->touches().empty()) {
      drawTouches(*canvas, seconds);
      canvas->flush();
    }
    if (frame_) {
      if (!frameArt_.overlay) frameArt_ = frameArt(*frame_, args.frameBackground);
      if (frameArt_.overlay && frameArt_.screen)
        applyFrame(buffer->baseAddress(), buffer->bytesPerRow(), frameArt_, *frame_);
    }
    if (args.keepsAlpha())
      media::unpremultiplyBgra(buffer->baseAddress(), buffer->bytesPerRow(), buffer->width(),
                               buffer->height());
  }
  return buffer;
}

bool Vuzizeri::appendFrame(media::PixelBufferHandle buffer, double seconds) {
  budget::Span appending(budget::Phase::kAppend);
  if (writer->append(std::move(buffer), media::mediaTimeFromSeconds(seconds, kTimescale))) {
    if (framesWritten++ == 0) firstWrittenSeconds_ = seconds;
    previousWrittenSeconds_ = lastWrittenSeconds_;
    lastWrittenSeconds_ = seconds;
    return true;
  }
  // A full disk shows now, not at the finish after all the painting.
  platform_.fail("falha ao gravar o quadro: " + writer->failure());
  return false;
}

double Vuzizeri::videoSeconds() const {
  if (framesWritten == 0) return 0;
  // The last frame lasts a frame's time, or in real time the interval
  // before it, as the writer makes it last.
  const double last = args.frameByFrame || framesWritten == 1
                          ? 1.0 / args.fps
                          : lastWrittenSeconds_ - previousWrittenSeconds_;
  return lastWrittenSeconds_ - firstWrittenSeconds_ + last;
}

bool Vuzizeri::gravarQuadro(const graphics::Image& image) {
  const double now = platform_.now();
  if (t0 == 0.0) t0 = now;
  media::PixelBufferHandle buffer = composeFrame(image, RowShift{}, now - storyOrigin);
  if (!buffer) return true;
  const double pts = nextPresentationTime(lastPTS, now - t0);
  lastPTS = pts;
  // A frame the encoder has no room for is dropped; a failed writer says
  // it is ready, so that its failure is heard.
  return !writer->isReadyForMoreMediaData() || appendFrame(std::move(buffer), pts);
}

bool Vuzizeri::recordFrameAt(const graphics::Image& image, double seconds, const RowShift& shift) {
  media::PixelBufferHandle buffer = composeFrame(image, shift, seconds);
  if (!buffer) return true;
  lastPTS = seconds;
  // Every frame counts here: the writer is waited for when it is behind.
  return appendFrame(std::move(buffer), seconds);
}

}  // namespace vuz
