#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/media/media_time.h"
#include "platform/media/pixel_buffer.h"
#include "platform/media/writer/video_writer.h"
#include "vuzizeri/movie/movie_forms.h"

namespace vuz {

// The movie's times are ticks of 1/600 s.
inline constexpr int32_t kTimescale = 600;

// A real-time frame's time: at least a millisecond after the previous
// frame's, else the clock's.
double nextPresentationTime(double lastPTS, double elapsed);

// pxW × pxH × fps × 0.07 bits per second, truncated: the same bits a frame
// at any rate. Nothing when the pixel count or the rate leaves the signed
// 64-bit range.
std::optional<int64_t> averageBitRate(int64_t pxW, int64_t pxH, int fps = 60);

// What the recorder needs of its movie writer; the real one writes the
// movie in the form asked for, tests give a fake.
class RecordingWriter {
 public:
  virtual ~RecordingWriter() = default;
  // A frame buffer of the movie's size from the writer's pool, or nullptr.
  virtual media::PixelBufferHandle createPixelBuffer() = 0;
  virtual bool isReadyForMoreMediaData() = 0;
  // False once the writer has failed (a full disk, a refused frame); failure()
  // then says why.
  virtual bool append(media::PixelBufferHandle buffer, media::MediaTime time) = 0;
  virtual void markAsFinished() = 0;
  // A chapter of the movie, where its form has them. Before finishWriting.
  virtual void addChapter(const std::string&, double /*start*/, double /*end*/) {}
  // Calls `completion` once the file is complete, from the writer's thread.
  virtual void finishWriting(std::function<void()> completion) = 0;
  // Why the writer failed, or empty when it did not.
  virtual std::string failure() = 0;
  // Seconds spent converting and encoding frames so far, for the budget.
  virtual std::pair<double, double> encoderTimes() { return {0, 0}; }
};

struct MovieRequest {
  std::string path;
  int64_t width = 0;
  int64_t height = 0;
  int64_t averageBitRate = 0;
  int fps = 60;
  const MovieForm* form = kDefaultMovieForm;
  bool alpha = false;      // the frames' alpha kept (mov and webm only)
  bool withSound = false;  // --audio's or --sons' track, opened at start
  // Written into the file's metadata: what a part of a recording is (see
  // parts.h).
  std::vector<std::pair<std::string, std::string>> tags{};
  // Called now and then, from the writer's thread, while a long finish (a
  // GIF's) goes on.
  std::function<void()> heartbeat{};
  // The movie's picture when it is not the frames' size.
  std::optional<media::PictureLayout> layout{};
  // For a store: H.264 High at most at `level` (× 10), never above
  // `maxBitRate` (0: no cap) over a second; ProRes 422 HQ in QuickTime; and
  // a sound track always, silent without --audio.
  bool storeReady = false;
  int level = 0;
  int64_t maxBitRate = 0;
};

// Opens the movie file and starts writing; nullptr, with the writer's reason
// in `error` when it gives one, when it cannot.
using WriterFactory =
    std::function<std::unique_ptr<RecordingWriter>(const MovieRequest&, std::string* error)>;

}  // namespace vuz
