#pragma once

#include <cstdint>

#include "platform/media/av_ptr.h"
#include "platform/media/writer/video_writer.h"

namespace media {

// The vendor a QuickTime reader expects in a ProRes sample description.
inline constexpr char kProResVendor[5] = "apl0";

// Sets an encoder's context and options up for `settings`, with `threads`
// coder threads.
using CodecSetUp = void (*)(AVCodecContext*, Dictionary*, const VideoInputSettings& settings,
                            int threads);

// What each codec is, to FFmpeg and to the writer.
struct Codec {
  VideoCodec codec;
  const char* encoder;
  CodecSetUp setUp;
  int64_t loneFrameTicks;  // how long a movie of one frame lasts; 0: 1/60 s
};
const Codec& codecOf(VideoCodec codec);

inline bool isProRes(VideoCodec c) {
  return c == VideoCodec::kProRes4444 || c == VideoCodec::kProRes422HQ;
}

}  // namespace media
