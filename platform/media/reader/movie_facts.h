#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace media {

// What a movie file is, as a store's checker measures it: read with
// FFmpeg's demuxers and every video frame decoded, whoever made the file.
struct MovieFacts {
  int64_t fileBytes = 0;
  // Where the index of an MP4 or QuickTime movie stands: before its media
  // data (it streams from the first byte), after it, or the file is of
  // another kind.
  enum class Index { kFirst, kAfterData, kNotIso } index = Index::kNotIso;

  std::string videoCodec;  // FFmpeg's name: "h264", "prores", "vp9", ...
  std::string profile;     // as FFmpeg names it ("High", "HQ"); empty when unknown
  int level = 0;           // H.264's level_idc (40 is 4.0); 0 when unknown
  int64_t width = 0, height = 0;
  int64_t frames = 0;
  double seconds = 0;  // from the first frame's start to the last one's end
  // Each frame's length: the shortest and the longest (the same in a
  // constant-rate movie), in seconds.
  double shortestFrame = 0, longestFrame = 0;
  double videoBitRate = 0;  // bits a second of video over the whole movie

  // What a player is told beside the frames: how many video tracks (cover
  // pictures aside), how many video or sound tracks are marked disabled,
  // the turn of a display matrix (NaN when it also flips or stretches),
  // the pixels' shape (0:1 when unsaid) and whether the picture is in fields.
  int videoTracks = 0;
  int disabledTracks = 0;
  bool displayMatrix = false;
  double turnDegrees = 0;
  int pixelWidth = 0, pixelHeight = 1;
  bool interlaced = false;
  // The longest length the header gives the movie or one of its tracks, and
  // the longest the packets last.
  double headerSeconds = 0, packetSeconds = 0;

  bool hasSound = false;
  std::string soundCodec;  // "aac", "pcm_s16le", ...
  int channels = 0;
  int sampleRate = 0;

  // Frames a second, from the frames' own count and times.
  double frameRate() const { return seconds > 0 ? static_cast<double>(frames) / seconds : 0; }
  bool constantRate() const {
    // A tick of a 90 kHz or 600 Hz clock either way is rounding, not a
    // change of rate.
    return frames > 0 && longestFrame - shortestFrame <= 1.0 / 600 + 1e-9;
  }
};

// Nothing, with the reason in `error`, when the file cannot be opened as a
// movie with video, or a video frame or a sound packet does not decode, or
// the file ends before the frames or the packets its index lists.
std::optional<MovieFacts> readMovieFacts(const std::string& path, std::string* error);

}  // namespace media
