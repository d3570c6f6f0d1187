#pragma once

#include <cstdint>
#include <memory>

#include "platform/media/av_ptr.h"
#include "platform/media/reader/sound_source.h"
#include "platform/media/writer/track.h"

namespace media {

// The movie's sound track: a source played under the video for exactly the
// video's length, fading out over its last `fadeSeconds`, coded as stereo at
// kSoundRate. Its packets follow the video's, held back by the fade's
// length, so that the end, known only at the finish, is where the fade
// falls.
class SoundTrack {
 public:
  // `write` takes each packet in the stream's time base.
  SoundTrack(std::unique_ptr<SoundFeed> source, int64_t bitRate, double fadeSeconds, Fail fail,
             TakePacket write);

  bool add(AVFormatContext* format);
  // Opens the encoder named `encoder` (AAC, or Vorbis in WebM).
  bool open(const AVFormatContext* format, const char* encoder);
  // The sound up to where a video that ends at `videoEnd` seconds starts
  // fading.
  bool follow(double videoEnd);
  // The rest of the sound, to the video's last tick, fading out; then the
  // encoder's last packets.
  bool finish(double videoEnd);

 private:
  // Encodes the sound up to sample `until` of a track `total` samples long;
  // whole codec frames only, unless `last`.
  bool encodeSound(int64_t until, int64_t total, bool last);
  // The next `count` samples into the frame, faded for a track `total` long.
  bool readSamples(int64_t count, int64_t total);
  // `frame` (nullptr: the end) through the encoder, its packets written.
  bool encodeFrame(AVFrame* frame);

  std::unique_ptr<SoundFeed> source_;
  int64_t bitRate_ = 0;
  int64_t fade_ = 0;     // samples
  int64_t written_ = 0;  // samples encoded so far
  Fail fail_;
  TakePacket write_;
  Track track_;
  FramePtr frame_;
};

}  // namespace media
