#pragma once

#include "platform/media/av_ptr.h"
#include "platform/media/pixel_buffer.h"
#include "platform/media/writer/track.h"
#include "platform/media/writer/video_writer.h"

namespace media {

// The caller's BGRA frames as the encoder's pictures: by hand where that is
// faster, through swscale elsewhere, and with a layout by the one Lanczos
// scaling into its rectangle.
class PictureConverter {
 public:
  explicit PictureConverter(Fail fail) : fail_(std::move(fail)) {}

  // Pictures in `format` at the encoder's size and colours, converted on
  // `converters` threads (ProRes 4444's own conversion only).
  bool open(const VideoInputSettings& settings, AVPixelFormat format, const AVCodecContext* encoder,
            int converters);
  // A picture from the pool; nullptr when there is no memory for it.
  FramePtr makeFrame();
  void convert(const PixelBuffer& buffer, AVFrame* frame);

 private:
  bool openPool();
  bool openScaler();
  bool openLayout();
  bool openBackground();
  void convertToProRes4444(const PixelBuffer& buffer, AVFrame* f);
  void convertIntoLayout(const PixelBuffer& buffer, AVFrame* frame);

  Fail fail_;
  VideoInputSettings settings_;
  AVPixelFormat format_ = AV_PIX_FMT_NONE;
  const AVCodecContext* encoder_ = nullptr;
  int converters_ = 1;
  BufferPoolPtr framePool_;
  SwsPtr sws_;
  // With a layout: the scaler into its rectangle, and the picture of the
  // background alone when the rectangle leaves some of it.
  SwsPtr layoutSws_;
  FramePtr background_;
  // The scaler writes whole vectors past a row's end: a rectangle inside
  // the picture is scaled here first, then copied into place.
  FramePtr placedPicture_;
};

}  // namespace media
