#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/media/media_time.h"
#include "platform/media/pixel_buffer.h"
#include "platform/media/reader/sound_source.h"

namespace media {

enum class FileType {
  kQuickTimeMovie,  // .mov, whatever the path's extension
  kMpeg4,           // .mp4 with the index first, so the file streams
  kWebM,            // .webm (Matroska's subset for the web)
};

enum class VideoCodec {
  kProRes4444,   // 'ap4h', 10-bit 4:4:4 with alpha, vendor 'apl0'
  kProRes422HQ,  // 'apch', 10-bit 4:2:2, no alpha, at the profile's own rate
  kH264,         // libx264, 4:2:0, no B-frames unless allowed
  kVp9,          // libvpx-vp9, 4:2:0, with alpha when asked for
  // libx264rgb without loss: every frame's colours exactly (alpha dropped),
  // for a second pass over them.
  kLosslessRgb,
};

// Largest width and height the writer takes, for both codecs.
inline constexpr int64_t kMaxVideoDimension = 16384;

struct H264Settings {
  int64_t averageBitRate = 0;         // bits per second of media time, average (ABR)
  int expectedFrameRate = 60;         // a hint; the frames' own times rule
  int maxKeyFrameInterval = 8;        // frames
  bool allowFrameReordering = false;  // false: no B-frames
  std::string x264Preset = "veryfast";
  // Limits a store checks: the highest profile ("high"; empty: x264's
  // choice), the level × 10 (0: x264's), and a rate never exceeded over any
  // second (0: none).
  std::string profile;
  int level = 0;
  int64_t maxBitRate = 0;
};

// The movie's picture when it is not the frames' own: each frame's `source`
// rectangle, scaled once with a Lanczos filter, fills `placed`; the rest of
// the picture is `background` (RGB). Rectangles are x, y, width, height.
struct PictureLayout {
  int64_t width = 0, height = 0;
  int64_t source[4] = {};
  int64_t placed[4] = {};
  uint8_t background[3] = {255, 255, 255};
};

struct VideoInputSettings {
  VideoCodec codec = VideoCodec::kH264;
  int64_t width = 0;   // 1 .. kMaxVideoDimension
  int64_t height = 0;  // 1 .. kMaxVideoDimension
  H264Settings h264;   // kH264's; kVp9 takes its bit rate and frame rate
  bool alpha = false;  // kVp9: the picture's alpha kept (yuva420p)
  // A QuickTime movie's index written before its data, as stores ask (an
  // MP4's always is): the file is rewritten once at the finish.
  bool indexFirst = false;
  // Set when the movie's picture is not the frames' size (H.264 and
  // ProRes 422 HQ); the frames are still appended at width × height.
  std::optional<PictureLayout> layout;
  // Tunes the encoder for latency rather than throughput (H.264 only).
  bool expectsMediaDataInRealTime = false;
  // Track timescale; every presentation time is written in it.
  int32_t timescale = 600;
};

enum class WriterStatus {
  kUnknown,  // created, not started
  kWriting,
  kCompleted,
  kFailed,
};

// The movie writer: one video track encoded off the caller's thread behind a
// small bounded queue. Mirrors the life of an asset writer:
//   create → addInput → startWriting → (pool, isReady, append)* →
//   markAsFinished → finishWriting(completion).
// Not copyable; every call but the completion is made from one thread.
//
// Timing: each frame is written at exactly the ticks it was appended with
// (in the track timescale). The last frame lasts as long as the interval
// before it; a lone frame lasts 1 tick for ProRes (one frame when the
// timescale is the frame rate) and timescale / 60 ticks for H.264.
class VideoWriter {
 public:
  // Creates (truncates) the file at `path`. nullptr on failure, with the
  // system's reason text in `error`.
  static std::unique_ptr<VideoWriter> create(const std::string& path, FileType type,
                                             std::string* error);
  // Stops the encoding thread; never finishes the file.
  ~VideoWriter();
  VideoWriter(const VideoWriter&) = delete;
  VideoWriter& operator=(const VideoWriter&) = delete;

  // False when the settings cannot make a track (a side out of range, a
  // layout whose rectangles leave the frame or the picture, an area beyond the encoders' (w + 128)
  // × (h + 128) < 2²⁸, bad timescale, encoder missing, a second input); the reason is in error().
  bool addInput(const VideoInputSettings& settings);
  // Adds a sound track (AAC, or Vorbis in WebM; stereo, 48 kHz, `bitRate`
  // bits per second) that plays
  // `source` under the video for exactly the video's length, fading out over
  // its last `fadeSeconds`. Its packets are interleaved with the video's,
  // the sound held back by the fade's length behind the video so that the
  // end, known only at the finish, is where the fade falls. After addInput,
  // before startWriting; false (see error()) when the encoder is missing.
  bool addSoundTrack(std::unique_ptr<SoundFeed> source, int64_t bitRate, double fadeSeconds);
  // A tag of the file's own metadata (an MP4's 'mdta' keys, read back as
  // the format's metadata). Before startWriting.
  void setMetadata(const std::string& key, const std::string& value);
  // Opens the encoder and writes the header. False on failure; see error().
  bool startWriting();

  // The pool of BGRA buffers of the input's size; nullptr before startWriting.
  PixelBufferPool* pixelBufferPool();
  // False while the encoder queue is full (back-pressure). True once the
  // writer has failed, so that the next append reports the failure.
  bool isReadyForMoreMediaData() const;
  // Queues `buffer` for encoding at `time` (converted to the track
  // timescale; must increase from frame to frame). Returns false when the
  // writer has failed or refuses the frame; the reason is then in error().
  // Waits for room when called while not ready.
  bool append(PixelBufferHandle buffer, MediaTime time);

  // No more appends; finishWriting() follows.
  void markAsFinished();
  // A chapter from `start` to `end` seconds, written with the file's index
  // (in an MP4 as its chapter list). Before finishWriting.
  void addChapter(const std::string& title, double start, double end);
  // Drains the queue, flushes the encoder and writes the trailer on the
  // writer's own thread, then calls `completion` there. Check status() and
  // error() from the completion (or after it has run).
  void finishWriting(std::function<void()> completion);

  // Seconds the writer's thread has spent converting frames and encoding
  // them, so far.
  struct Times {
    double converting = 0;
    double encoding = 0;
  };
  Times times() const;

  WriterStatus status() const;
  // The reason of the first failure; empty when there is none.
  std::string error() const;

 private:
  struct Impl;
  explicit VideoWriter(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace media
