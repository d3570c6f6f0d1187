#include "vuzizeri/picture/band.h"
#include "vuzizeri/picture/captions.h"
#include "vuzizeri/picture/touches.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/canvas.h"
#include "platform/media/pixel_convert.h"
#include "vuzizeri/picture/top_colours.h"
#include "vuzizeri/recorder/frame_budget.h"
#include "vuzizeri/recorder/recorder.h"

namespace vuz {

void Vuzizeri::updateBandColours(const graphics::Image& image) {
  easeBand(coresDoTopo(image), args.transparentPage ? topAlphas(image) : std::vector<uint8_t>());
}

void Vuzizeri::easeBand(const std::optional<std::vector<uint8_t>>& colours,
                        const std::vector<uint8_t>& alphas) {
  if (colours) easeBandColours(bandCols, *colours, bandEase);
  if (args.transparentPage) easeBandColours(bandAlphas, alphas, bandEase);
}

void Vuzizeri::snapshot(std::function<void(graphics::ImageRef)> then) {
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

void Vuzizeri::warmBandColours(const graphics::Image& image, double seconds,
                               const RowShift& shift) {
  updateBandColours(image);
  // A part's first frame shows the indicator as the whole run does there.
  if (args.scrollIndicator) indicator_.note(seconds, shownOffset(shift));
}

double Vuzizeri::shownOffset(const RowShift& shift) const {
  // In real time a storyboard reads the page itself; the plain scroll's
  // readings come one a frame.
  return (!args.frameByFrame && story_ ? story_->offsetNow() : lastOffset_.value_or(0)) +
         shift.rowsUp / capture_.rowsPerCss;
}

void Vuzizeri::drawScrollIndicator(graphics::Canvas& canvas, uint8_t* content,
                                   ptrdiff_t bytesPerRow, const RowShift& shift, double seconds) {
  const double offset = shownOffset(shift);
  indicator_.note(seconds, offset);
  const double viewHeight = static_cast<double>(contentPx) / capture_.rowsPerCss;
  const double viewWidth = static_cast<double>(pxW) / capture_.rowsPerCss;
  const IndicatorBar bar = indicatorBar(offset, std::max(pageHeight_, offset + viewHeight),
                                        viewWidth, viewHeight, kHomeIndicatorCss);
  // The page's pixels beside the bar say whether it is light.
  const int stripPx = static_cast<int>(std::ceil(4 * kIndicatorWidthCss * capture_.rowsPerCss));
  const int top = static_cast<int>(bar.y * capture_.rowsPerCss);
  const int rows = static_cast<int>(
      std::min<double>(bar.length * capture_.rowsPerCss, static_cast<double>(contentPx - top)));
  const bool light = lightUnder(content + top * bytesPerRow + 4 * (pxW - stripPx), bytesPerRow,
                                stripPx, std::max(rows, 0));
  indicator_.draw(canvas, seconds, bar, static_cast<double>(screenX()),
                  static_cast<double>(screenY() + pxH - contentPx), capture_.rowsPerCss, light);
}

void Vuzizeri::drawStatusBar(graphics::Canvas& canvas) {
  barShade_ = barShade(barShade_, bandLightness(bandCols));
  vuz::drawStatusBar(canvas, *bar_, *barShade_, args.time);
}

bool Vuzizeri::drawLayersBack(PreparedFrame& frame, uint8_t* content, ptrdiff_t bytesPerRow,
                              const RowShift& shift) {
  if (shift.layers.empty()) return true;
  if (!layers_.apply(content, bytesPerRow, shift.layers)) {
    platform_.fail("uma barra fixa da página ficou sem imagem");
    return false;
  }
  // A header the engine left out is at the top only once drawn back.
  frame.layersDrawn = std::any_of(shift.layers.begin(), shift.layers.end(),
                                  [](const LayerPlacement& l) { return l.hidden; });
  if (bandPx >= 1 && frame.layersDrawn) {
    if (auto top = graphics::Image::fromPixels(static_cast<int>(pxW),
                                               static_cast<int>(std::min<int64_t>(3, contentPx)),
                                               content, bytesPerRow)) {
      frame.topColours = coresDoTopo(*top);
      if (args.transparentPage) frame.topAlphas = topAlphas(*top);
    }
  }
  return true;
}

void Vuzizeri::takeLayersAlone(const std::vector<LayerPlacement>& layers,
                               std::function<void()> then) {
  std::vector<LayerPlacement> wanted = layers_.wantedAlone(layers);
  std::string ids;
  for (const LayerPlacement& l : wanted) {
    if (!ids.empty()) ids += ',';
    ids += std::to_string(l.id);
  }
  // The page is left as it was before anything else is asked of it.
  auto restore = [this, then = std::move(then)] {
    platform_.web->evaluateInOwnWorld("liftAlone([])", [then](web::ScriptAnswer) { then(); });
  };
  platform_.web->evaluateInOwnWorld(
      "liftAlone([" + ids + "])",
      [this, wanted, restore = std::move(restore)](web::ScriptAnswer found) {
        if (!found.value || !found.value->isNumber() ||
            found.value->number != static_cast<double>(wanted.size())) {
          restore();
          return;
        }
        platform_.web->takeSnapshotOverNothing(
            snapshotWidthPoints(), [this, wanted, restore](graphics::ImageRef alone) {
              if (alone)
                layers_.keepAlone(wanted, alone->row(0), alone->stride(), alone->width(),
                                  alone->height());
              restore();
            });
      });
}

void Vuzizeri::drawStoryboard(graphics::Canvas& canvas, double seconds, double left,
                              double contentTop) {
  if (!story_->pickers().empty()) {
    pickers_.draw(canvas, story_->pickers(), seconds, left, contentTop,
                  static_cast<double>(pxW) / capture_.rowsPerCss,
                  static_cast<double>(contentPx) / capture_.rowsPerCss, capture_.rowsPerCss,
                  args.dark);
    canvas.flush();
  }
  if (!story_->keyboard().empty()) {
    if (!keyboard_)
      keyboard_ =
          std::make_unique<KeyboardPicture>(static_cast<double>(pxW) / capture_.rowsPerCss,
                                            capture_.rowsPerCss, args.dark, kHomeIndicatorCss);
    keyboard_->draw(canvas, story_->keyboard(), seconds, left,
                    contentTop + static_cast<double>(contentPx));
    canvas.flush();
  }
  if (!story_->touches().empty()) {
    drawTouches(canvas, story_->touches(), seconds, left, contentTop, capture_.rowsPerCss);
    canvas.flush();
  }
  if (!story_->captions().empty()) {
    drawHighlights(canvas, story_->captions(), seconds, left, contentTop, static_cast<double>(pxW),
                   static_cast<double>(contentPx), capture_.rowsPerCss, lastOffset_.value_or(0),
                   story_->cameraNow());
    drawCaptions(canvas, story_->captions(), seconds, left, contentTop, static_cast<double>(pxW),
                 static_cast<double>(contentPx), capture_.rowsPerCss, kHomeIndicatorCss);
    canvas.flush();
  }
}

std::optional<PreparedFrame> Vuzizeri::composePage(const graphics::Image& image,
                                                   const RowShift& shift, double seconds) {
  budget::Span composing(budget::Phase::kCompose);
  PreparedFrame frame;
  frame.buffer = std::move(frameBuffer_);
  if (!frame.buffer) frame.buffer = writer->createPixelBuffer();
  if (!frame.buffer) return std::nullopt;
  media::PixelBuffer& buffer = *frame.buffer;
  // Rows from the screen's top: maybe one undrawn row, then the band, then
  // the page in the lowest contentPx rows.
  const double left = static_cast<double>(screenX());
  const double contentTop = static_cast<double>(screenY() + pxH - contentPx);
  // The band's colours come from the picture as the view showed it.
  if (bandPx >= 1) {
    frame.topColours = coresDoTopo(image);
    if (args.transparentPage) frame.topAlphas = topAlphas(image);
  }
  auto canvas = graphics::Canvas::overMemory(buffer.baseAddress(), buffer.width(), buffer.height(),
                                             buffer.bytesPerRow());
  if (!canvas) return frame;
  // Unless the snapshot was drawn in place already.
  uint8_t* content = buffer.baseAddress() +
                     static_cast<ptrdiff_t>(contentTop) * buffer.bytesPerRow() + 4 * screenX();
  if (image.row(0) != content) {
    canvas->drawImage(image, left, contentTop, static_cast<double>(pxW),
                      static_cast<double>(contentPx));
    canvas->flush();
  }
  moveUpAroundStillParts(content, buffer.bytesPerRow(), static_cast<int>(pxW),
                         static_cast<int>(contentPx), shift.rowsUp, shift.still);
  if (!drawLayersBack(frame, content, buffer.bytesPerRow(), shift)) return std::nullopt;
  if (args.scrollIndicator) {
    drawScrollIndicator(*canvas, content, buffer.bytesPerRow(), shift, seconds);
    canvas->flush();
  }
  if (story_) drawStoryboard(*canvas, seconds, left, contentTop);
  frame.seconds = seconds;
  return frame;
}

void Vuzizeri::finishComposing(PreparedFrame& frame) {
  budget::Span composing(budget::Phase::kCompose);
  media::PixelBuffer& buffer = *frame.buffer;
  auto canvas = graphics::Canvas::overMemory(buffer.baseAddress(), buffer.width(), buffer.height(),
                                             buffer.bytesPerRow());
  if (!canvas) return;
  const double left = static_cast<double>(screenX());
  const double contentTop = static_cast<double>(screenY() + pxH - contentPx);
  if (bandPx >= 1) {
    easeBand(frame.topColours, frame.topAlphas);
    std::vector<uint8_t> mould = mouldPixels(bandCols, bandBlur, bandAlphas);
    if (!mould.empty()) {
      const int k = static_cast<int>(mould.size() / 4);
      if (auto mouldImage = graphics::Image::fromPixels(k, 1, mould.data(), 4 * k))
        canvas->drawImage(*mouldImage, left, contentTop - static_cast<double>(bandPx),
                          static_cast<double>(pxW), static_cast<double>(bandPx));
    }
    if (bar_) drawStatusBar(*canvas);
    canvas->flush();
  }
  // A title card covers the band and the status bar too, as an app's own
  // full-screen card would.
  if (story_ && !story_->captions().empty()) {
    drawTitleCards(*canvas, story_->captions(), frame.seconds, left,
                   contentTop - static_cast<double>(bandPx), static_cast<double>(pxW),
                   static_cast<double>(contentPx + bandPx), capture_.rowsPerCss);
    canvas->flush();
  }
  if (frame_) {
    if (!frameArt_.overlay) frameArt_ = frameArt(*frame_, args.frameBackground);
    if (frameArt_.overlay && frameArt_.screen)
      applyFrame(buffer.baseAddress(), buffer.bytesPerRow(), frameArt_, *frame_);
  }
  if (args.keepsAlpha())
    media::unpremultiplyBgra(buffer.baseAddress(), buffer.bytesPerRow(), buffer.width(),
                             buffer.height());
}

bool Vuzizeri::appendFrame(media::PixelBufferHandle buffer, double seconds) {
  budget::Span appending(budget::Phase::kAppend);
  if (writer->append(std::move(buffer), media::mediaTimeFromSeconds(seconds, kTimescale))) {
    if (framesWritten_++ == 0) firstWrittenSeconds_ = seconds;
    previousWrittenSeconds_ = lastWrittenSeconds_;
    lastWrittenSeconds_ = seconds;
    return true;
  }
  // A full disk shows now, not at the finish after all the painting.
  platform_.fail("falha ao gravar o quadro: " + writer->failure());
  return false;
}

double Vuzizeri::videoSeconds() const {
  if (framesWritten_ == 0) return 0;
  // The last frame lasts a frame's time, or in real time the interval
  // before it, as the writer makes it last.
  const double last = args.frameByFrame || framesWritten_ == 1
                          ? 1.0 / args.fps
                          : lastWrittenSeconds_ - previousWrittenSeconds_;
  return lastWrittenSeconds_ - firstWrittenSeconds_ + last;
}

bool Vuzizeri::gravarQuadro(const graphics::Image& image) {
  const double now = platform_.now();
  if (t0 == 0.0) t0 = now;
  std::optional<PreparedFrame> frame = composePage(image, RowShift{}, now - wallClock_.origin());
  // Without a buffer (the memory ran out) the frame is dropped, as one the
  // encoder has no room for is: the video shows the one before longer.
  if (!frame) return true;
  finishComposing(*frame);
  const double pts = nextPresentationTime(lastPTS, now - t0);
  lastPTS = pts;
  // A frame the encoder has no room for is dropped; a failed writer says
  // it is ready, so that its failure is heard.
  return !writer->isReadyForMoreMediaData() || appendFrame(std::move(frame->buffer), pts);
}

std::optional<PreparedFrame> Vuzizeri::prepareFrameAt(const graphics::Image& image, double seconds,
                                                      const RowShift& shift) {
  std::optional<PreparedFrame> frame = composePage(image, shift, seconds);
  // Frame by frame every frame is the video's: one that cannot be made is
  // the run's failure, where real time drops it.
  if (!frame) {
    platform_.fail("falha ao gravar o quadro: sem memória para o quadro");
    return std::nullopt;
  }
  frame->seconds = seconds;
  return frame;
}

bool Vuzizeri::recordPrepared(PreparedFrame frame) {
  finishComposing(frame);
  if (frame.layersDrawn) budget::countLiftedFrame();
  lastPTS = frame.seconds;
  // Every frame counts here: the writer is waited for when it is behind.
  return appendFrame(std::move(frame.buffer), frame.seconds);
}

}  // namespace vuz
