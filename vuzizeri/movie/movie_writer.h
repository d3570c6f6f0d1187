#pragma once

#include <cstdint>
#include <memory>

#include "platform/media/reader/sound_source.h"
#include "vuzizeri/movie/recording_writer.h"

namespace vuz {

// --audio's track: AAC (Vorbis in WebM) at this rate, faded out over the
// video's last seconds.
inline constexpr int64_t kSoundBitRate = 192000;
// A store's sound track: what App Store previews ask for.
inline constexpr int64_t kStoreSoundBitRate = 256000;
inline constexpr double kSoundFadeSeconds = 2.0;

// The recorder's movie in the form the request names (H.264 in MP4, ProRes
// 4444 in QuickTime, VP9 in WebM, GIF), tuned for a real-time source, with
// `sound`'s track under it when there is one. nullptr when the file cannot
// be created or the encoder refuses the size, with the writer's reason in
// `error`.
std::unique_ptr<RecordingWriter> openMovieWriter(const MovieRequest& request,
                                                 std::unique_ptr<media::SoundFeed> sound,
                                                 std::string* error);

}  // namespace vuz
