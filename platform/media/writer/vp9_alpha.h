#pragma once

#include <deque>

#include "platform/media/av_ptr.h"
#include "platform/media/writer/track.h"

namespace media {

// VP9's alpha: a second encoder of its own, lossless, each frame's alpha as
// the luma of a grey picture, carried beside the colour frame.
class Vp9Alpha {
 public:
  explicit Vp9Alpha(Fail fail) : fail_(std::move(fail)) {}

  // An encoder like `colour`'s, for the stream `colour` feeds.
  bool open(const AVCodec* codec, const AVCodecContext& colour, AVStream* stream);
  // Codes the alpha plane of `picture` (nullptr: the end).
  bool encode(const AVFrame* picture);
  // Gives the colour packet `p` the alpha coded for its time.
  bool attach(AVPacket* p);

 private:
  bool openPicture();

  Fail fail_;
  CodecContextPtr encoder_;
  FramePtr frame_;
  PacketPtr packet_;
  std::deque<PacketPtr> coded_;  // waiting for their colour frame
};

}  // namespace media
