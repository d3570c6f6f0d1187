#include "vuzizeri/movie/movie_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/media/editing/gif_maker.h"
#include "platform/media/writer/video_writer.h"

namespace vuz {

namespace {

// Measured on a 2-core machine at 1170 × 2532 with the web engine painting
// beside it: "ultrafast" leaves the page the most processor time.
constexpr char kPreset[] = "ultrafast";
constexpr char kStorePreset[] = "veryfast";

class MovieWriter final : public RecordingWriter {
 public:
  explicit MovieWriter(std::unique_ptr<media::VideoWriter> writer) : writer_(std::move(writer)) {}

  media::PixelBufferHandle createPixelBuffer() override {
    media::PixelBufferPool* pool = writer_->pixelBufferPool();
    return pool ? pool->createPixelBuffer() : nullptr;
  }

  bool isReadyForMoreMediaData() override { return writer_->isReadyForMoreMediaData(); }

  bool append(media::PixelBufferHandle buffer, media::MediaTime time) override {
    // Frames a millisecond apart can round onto the same tick of 1/600 s;
    // the file needs strictly increasing times, so such a frame takes the
    // next tick.
    int64_t tick = std::max(time.value, lastTick_ + 1);
    lastTick_ = tick;
    return writer_->append(std::move(buffer), media::MediaTime{tick, time.timescale});
  }

  void markAsFinished() override { writer_->markAsFinished(); }
  void addChapter(const std::string& title, double start, double end) override {
    writer_->addChapter(title, start, end);
  }

  void finishWriting(std::function<void()> completion) override {
    writer_->finishWriting(std::move(completion));
  }

  std::pair<double, double> encoderTimes() override {
    const media::VideoWriter::Times t = writer_->times();
    return {t.converting, t.encoding};
  }

  std::string failure() override {
    if (writer_->status() != media::WriterStatus::kFailed) return {};
    std::string reason = writer_->error();
    return reason.empty() ? "motivo desconhecido" : reason;
  }

 private:
  std::unique_ptr<media::VideoWriter> writer_;
  int64_t lastTick_ = -1;
};

// A GIF: the frames go to a lossless movie of their own first; once it is
// finished, the GIF is made from it (gif_maker.h).
class GifWriter final : public RecordingWriter {
 public:
  GifWriter(std::unique_ptr<RecordingWriter> movie, std::string moviePath, std::string gifPath,
            std::function<void()> progress)
      : movie_(std::move(movie)),
        moviePath_(std::move(moviePath)),
        gifPath_(std::move(gifPath)),
        progress_(std::move(progress)) {}
  ~GifWriter() override { std::remove(moviePath_.c_str()); }

  media::PixelBufferHandle createPixelBuffer() override { return movie_->createPixelBuffer(); }
  bool isReadyForMoreMediaData() override { return movie_->isReadyForMoreMediaData(); }
  bool append(media::PixelBufferHandle buffer, media::MediaTime time) override {
    return movie_->append(std::move(buffer), time);
  }
  void markAsFinished() override { movie_->markAsFinished(); }
  void finishWriting(std::function<void()> completion) override {
    movie_->finishWriting([this, completion = std::move(completion)] {
      std::string error;
      if (movie_->failure().empty() && !media::writeGif(moviePath_, gifPath_, progress_, &error))
        gifFailure_ = error;
      std::remove(moviePath_.c_str());
      completion();
    });
  }
  std::string failure() override {
    const std::string movie = movie_->failure();
    return movie.empty() ? gifFailure_ : movie;
  }
  std::pair<double, double> encoderTimes() override { return movie_->encoderTimes(); }

 private:
  std::unique_ptr<RecordingWriter> movie_;
  const std::string moviePath_, gifPath_;
  const std::function<void()> progress_;
  std::string gifFailure_;
};

// The request's frames in `file` as `codec`, with `sound` under them.
std::unique_ptr<RecordingWriter> openTrack(const MovieRequest& request, media::FileType file,
                                           media::VideoCodec codec,
                                           std::unique_ptr<media::SoundFeed> sound,
                                           std::string* error) {
  auto writer = media::VideoWriter::create(request.path, file, error);
  if (!writer) return nullptr;
  auto refused = [&] {
    *error = writer->error();
    return nullptr;
  };

  media::VideoInputSettings settings;
  settings.codec = codec;
  settings.width = request.width;
  settings.height = request.height;
  settings.alpha = request.alpha;
  settings.h264.averageBitRate = request.averageBitRate;
  settings.h264.expectedFrameRate = request.fps;
  settings.h264.maxKeyFrameInterval = 8;
  settings.h264.allowFrameReordering = false;
  settings.h264.x264Preset = kPreset;
  settings.expectsMediaDataInRealTime = true;
  settings.timescale = kTimescale;
  settings.layout = request.layout;
  if (request.storeReady) {
    // Frame by frame, where the encoder's speed matters little: a preset
    // with CABAC and 8 × 8 transforms, which make the stream High profile.
    if (codec == media::VideoCodec::kProRes4444) settings.codec = media::VideoCodec::kProRes422HQ;
    settings.h264.profile = "high";
    settings.h264.level = request.level;
    settings.h264.maxBitRate = request.maxBitRate;
    settings.h264.x264Preset = kStorePreset;
    settings.expectsMediaDataInRealTime = false;
    settings.indexFirst = true;
    if (!sound) sound = media::SoundSource::silence();
  }
  if (!writer->addInput(settings)) return refused();
  if (sound && !writer->addSoundTrack(std::move(sound),
                                      request.storeReady ? kStoreSoundBitRate : kSoundBitRate,
                                      kSoundFadeSeconds))
    return refused();
  for (const auto& [key, value] : request.tags) writer->setMetadata(key, value);
  if (!writer->startWriting()) return refused();
  return std::make_unique<MovieWriter>(std::move(writer));
}

}  // namespace

double nextPresentationTime(double lastPTS, double elapsed) {
  return std::max(lastPTS + 0.001, elapsed);
}

std::optional<int64_t> averageBitRate(int64_t pxW, int64_t pxH, int fps) {
  int64_t pixels = 0;
  if (__builtin_mul_overflow(pxW, pxH, &pixels)) return std::nullopt;
  double rate = static_cast<double>(pixels) * fps * 0.07;
  if (!std::isfinite(rate) || rate >= 0x1p63 || rate < -0x1p63) return std::nullopt;
  return static_cast<int64_t>(rate);
}

std::unique_ptr<RecordingWriter> openMovieWriter(const MovieRequest& request,
                                                 std::unique_ptr<media::SoundFeed> sound,
                                                 std::string* error) {
  const MovieForm& form = *request.form;
  if (!form.madeAfterwards)
    return openTrack(request, form.file, form.codec, std::move(sound), error);
  MovieRequest pass = request;
  const char* folder = std::getenv("TMPDIR");
  pass.path = std::string(folder && *folder ? folder : "/tmp") + "/vuzizeri-" +
              std::string(form.name) + "-" + std::to_string(getpid()) + ".mp4";
  std::unique_ptr<RecordingWriter> movie = openTrack(pass, form.file, form.codec, nullptr, error);
  if (!movie) return nullptr;
  return std::make_unique<GifWriter>(std::move(movie), pass.path, request.path, request.heartbeat);
}

}  // namespace vuz
