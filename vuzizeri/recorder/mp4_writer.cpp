#include "vuzizeri/recorder/mp4_writer.h"

#include <algorithm>

#include "platform/media/video_writer.h"
#include "vuzizeri/recorder/frame_composition.h"

namespace vuz {

namespace {

// Measured on a 2-core machine at 1170 × 2532 with the web engine painting
// beside it: "ultrafast" leaves the page the most processor time.
constexpr char kPreset[] = "ultrafast";

class Mp4Writer final : public RecordingWriter {
 public:
  explicit Mp4Writer(std::unique_ptr<media::VideoWriter> writer) : writer_(std::move(writer)) {}

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

}  // namespace

std::unique_ptr<RecordingWriter> openMp4Writer(const H264Request& request,
                                               std::unique_ptr<media::SoundSource> sound) {
  std::string error;
  auto writer = media::VideoWriter::create(request.path, media::FileType::kMpeg4, &error);
  if (!writer) return nullptr;

  media::VideoInputSettings settings;
  settings.codec = media::VideoCodec::kH264;
  settings.width = request.width;
  settings.height = request.height;
  settings.h264.averageBitRate = request.averageBitRate;
  settings.h264.expectedFrameRate = 60;
  settings.h264.maxKeyFrameInterval = 8;
  settings.h264.allowFrameReordering = false;
  settings.h264.x264Preset = kPreset;
  settings.expectsMediaDataInRealTime = true;
  settings.timescale = kTimescale;
  if (!writer->addInput(settings)) return nullptr;
  if (sound && !writer->addSoundTrack(std::move(sound), kSoundBitRate, kSoundFadeSeconds))
    return nullptr;
  for (const auto& [key, value] : request.tags) writer->setMetadata(key, value);
  if (!writer->startWriting()) return nullptr;
  return std::make_unique<Mp4Writer>(std::move(writer));
}

}  // namespace vuz
