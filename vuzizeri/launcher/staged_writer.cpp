#include "vuzizeri/launcher/staged_writer.h"

#include "common/fail.h"
#include "common/shown_text.h"

namespace vuz {
namespace {

class StagedWriter final : public RecordingWriter {
 public:
  StagedWriter(std::unique_ptr<RecordingWriter> writer, StagingFile staging, std::string output)
      : writer_(std::move(writer)), staging_(std::move(staging)), output_(std::move(output)) {}

  media::PixelBufferHandle createPixelBuffer() override { return writer_->createPixelBuffer(); }
  bool isReadyForMoreMediaData() override { return writer_->isReadyForMoreMediaData(); }
  bool append(media::PixelBufferHandle buffer, media::MediaTime time) override {
    return writer_->append(std::move(buffer), time);
  }
  void markAsFinished() override { writer_->markAsFinished(); }
  void addChapter(const std::string& title, double start, double end) override {
    writer_->addChapter(title, start, end);
  }
  void finishWriting(std::function<void()> completion) override {
    writer_->finishWriting([this, completion = std::move(completion)] {
      std::string reason;
      if (writer_->failure().empty() && !moveIntoPlace(staging_, output_, &reason))
        moveFailure_ = "não foi possível pôr o vídeo em " + shownText(output_) + ": " + reason;
      completion();
    });
  }
  std::string failure() override {
    const std::string failure = writer_->failure();
    return failure.empty() ? moveFailure_ : failure;
  }
  std::pair<double, double> encoderTimes() override { return writer_->encoderTimes(); }

 private:
  std::unique_ptr<RecordingWriter> writer_;
  const StagingFile staging_;
  const std::string output_;
  std::string moveFailure_;
};

}  // namespace

std::unique_ptr<RecordingWriter> writeThroughStaging(std::unique_ptr<RecordingWriter> writer,
                                                     StagingFile staging, std::string output) {
  if (!writer) return nullptr;
  return std::make_unique<StagedWriter>(std::move(writer), std::move(staging), std::move(output));
}

StagingFile stageOutputOrFail(const std::string& output) {
  std::string reason;
  std::optional<StagingFile> staging = createStagingFile(output, &reason);
  if (!staging) fail("não abriu o writer: " + shownText(output) + ": " + reason);
  return *staging;
}

}  // namespace vuz
