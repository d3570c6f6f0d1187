#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/media/av_ptr.h"
#include "platform/media/held_packet.h"
#include "platform/media/writer/picture_converter.h"
#include "platform/media/writer/track.h"
#include "platform/media/writer/video_writer.h"
#include "platform/media/writer/vp9_alpha.h"

namespace media {

// The movie's video track: its encoder (and VP9's alpha beside it), the
// pictures it takes and the packets it gives, each written once the next
// one says how long it lasts.
class VideoTrack {
 public:
  // `write` takes each packet in the stream's time base, its duration set.
  VideoTrack(Fail fail, TakePacket write);

  // Finds the encoder and adds the stream to `format`.
  bool add(AVFormatContext* format, const VideoInputSettings& settings);
  // Opens the encoder, with as many threads as the process can give it.
  bool open(const AVFormatContext* format);
  // The pictures' pool and conversion; after open().
  bool openPictures();
  // False when there was no memory to hold a packet back.
  bool canHold() const { return static_cast<bool>(held_); }

  PictureConverter& pictures() { return pictures_; }
  // A picture (nullptr: the end) through the encoder, and its alpha through
  // the alpha encoder when there is one.
  bool encodePicture(AVFrame* picture);
  // The encoder's last packets, and the one held back.
  bool finish();
  // Seconds: where the last written frame ends.
  double end() const { return end_; }

  const VideoInputSettings& settings() const { return settings_; }
  bool isProRes4444() const { return settings_.codec == VideoCodec::kProRes4444; }
  bool hasVp9Alpha() const { return settings_.codec == VideoCodec::kVp9 && settings_.alpha; }

 private:
  bool chooseThreads();
  bool openEncoder(const AVFormatContext* format);
  void describeProRes();
  AVPixelFormat pictureFormat() const;
  bool take(AVPacket* p);
  bool completeAlpha(AVPacket* p);
  bool write(AVPacket* p);

  Fail fail_;
  TakePacket write_;
  VideoInputSettings settings_;
  const AVCodec* codec_ = nullptr;
  Track track_;
  std::unique_ptr<Vp9Alpha> alpha_;
  PictureConverter pictures_;
  HeldPacket held_;
  std::vector<uint8_t> scratch_;
  int coderThreads_ = 1;
  int converters_ = 1;
  double end_ = 0;
};

}  // namespace media
