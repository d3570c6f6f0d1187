#include "platform/media/writer/video_writer.h"

#include <atomic>
#include <chrono>

extern "C" {
#include <libavutil/imgutils.h>
}

#include "platform/media/av_error.h"
#include "platform/media/writer/chapters.h"
#include "platform/media/writer/codecs.h"
#include "platform/media/writer/encoding_thread.h"
#include "platform/media/writer/movie_file.h"
#include "platform/media/writer/sound_track.h"
#include "platform/media/writer/video_track.h"

namespace media {

namespace {

std::string sizeText(int64_t width, int64_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

// Why `settings` cannot make a track; empty when they can.
std::string inputProblem(const VideoInputSettings& settings) {
  if (settings.width < 1 || settings.height < 1 || settings.width > kMaxVideoDimension ||
      settings.height > kMaxVideoDimension) {
    return "frame size " + sizeText(settings.width, settings.height) + " is outside 1x1 to " +
           sizeText(kMaxVideoDimension, kMaxVideoDimension);
  }
  // The encoders' own area limit, (w + 128) × (h + 128) < 2³¹ / 8: refused
  // here with the sizes rather than later as "Invalid argument".
  if (av_image_check_size(static_cast<unsigned>(settings.width),
                          static_cast<unsigned>(settings.height), 0, nullptr) < 0) {
    return "frame size " + sizeText(settings.width, settings.height) +
           " exceeds the encoders' picture area";
  }
  if (settings.timescale < 1) return "timescale must be positive";
  if (const std::optional<PictureLayout>& l = settings.layout) {
    auto inside = [](const int64_t(&r)[4], int64_t w, int64_t h) {
      return r[0] >= 0 && r[1] >= 0 && r[2] >= 1 && r[3] >= 1 && r[0] <= w - r[2] &&
             r[1] <= h - r[3];
    };
    // 4:2:x chroma: the placed rectangle starts on a sample of it.
    if (l->width < 2 || l->height < 2 || l->width > kMaxVideoDimension ||
        l->height > kMaxVideoDimension || !inside(l->source, settings.width, settings.height) ||
        !inside(l->placed, l->width, l->height) || ((l->placed[0] | l->placed[1]) & 1) ||
        settings.alpha ||
        (settings.codec != VideoCodec::kH264 && settings.codec != VideoCodec::kProRes422HQ))
      return "picture layout outside the frame or the picture, or not for this codec";
  }
  return {};
}

}  // namespace

// The file and its tracks, fed by the encoding thread. The thread is the
// last member, so that it stops before the rest goes.
struct VideoWriter::Impl {
  Fail fail = [this](const std::string& reason) { return thread.fail(reason); };
  MovieFile file{fail};
  bool hasInput = false;
  VideoTrack video{fail, [this](AVPacket* p) { return writeVideo(p); }};
  std::unique_ptr<SoundTrack> sound;
  Chapters chapters;
  std::unique_ptr<PixelBufferPool> pool;
  int64_t lastAppendedPts = INT64_MIN;
  bool inputFinished = false;
  std::atomic<double> converting{0}, encoding{0};
  EncodingThread thread;

  bool writeVideo(AVPacket* p);
  bool openTracks();
  void encodeJob(Job& job);
  void finishFile();
};

// A video packet once its duration is known: the sound follows it, held
// back by the fade, as the video may end any time from now on.
bool VideoWriter::Impl::writeVideo(AVPacket* p) {
  if (!file.write(p, sound != nullptr)) return false;
  return !sound || sound->follow(video.end());
}

bool VideoWriter::Impl::openTracks() {
  if (!video.open(file.format()) ||
      (sound && !sound->open(file.format(), file.container().soundEncoder)))
    return false;
  if (!video.canHold()) return fail(avErrorText("av_packet_alloc", AVERROR(ENOMEM)));
  return video.openPictures();
}

void VideoWriter::Impl::encodeJob(Job& job) {
  FramePtr frame = video.pictures().makeFrame();
  if (!frame) {
    fail(avErrorText("av_frame_alloc", AVERROR(ENOMEM)));
    return;
  }
  const auto start = std::chrono::steady_clock::now();
  video.pictures().convert(*job.buffer, frame.get());
  job.buffer.reset();
  const auto converted = std::chrono::steady_clock::now();
  frame->pts = job.pts;
  video.encodePicture(frame.get());
  converting = converting + std::chrono::duration<double>(converted - start).count();
  encoding = encoding +
             std::chrono::duration<double>(std::chrono::steady_clock::now() - converted).count();
}

void VideoWriter::Impl::finishFile() {
  if (thread.status() == WriterStatus::kFailed) return;
  if (!video.finish()) return;
  if (sound && !sound->finish(video.end())) return;
  if (!chapters.addTo(file.format(), fail)) return;
  if (!file.finish(isProRes(video.settings().codec))) return;
  thread.setStatus(WriterStatus::kCompleted);
}

VideoWriter::VideoWriter(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

VideoWriter::~VideoWriter() = default;

std::unique_ptr<VideoWriter> VideoWriter::create(const std::string& path, FileType type,
                                                 std::string* error) {
  auto impl = std::make_unique<Impl>();
  if (!impl->file.create(path, type, error)) return nullptr;
  return std::unique_ptr<VideoWriter>(new VideoWriter(std::move(impl)));
}

bool VideoWriter::addInput(const VideoInputSettings& settings) {
  Impl& d = *impl_;
  if (d.hasInput || d.thread.status() != WriterStatus::kUnknown) {
    return d.fail("the writer takes one video input, before it starts");
  }
  const std::string problem = inputProblem(settings);
  if (!problem.empty()) return d.fail(problem);
  if (!d.video.add(d.file.format(), settings)) return false;
  d.hasInput = true;
  return true;
}

bool VideoWriter::startWriting() {
  Impl& d = *impl_;
  if (!d.hasInput || d.thread.status() != WriterStatus::kUnknown) {
    return d.fail(d.hasInput ? "the writer has already started" : "the writer has no input");
  }
  if (!d.openTracks()) return false;
  const VideoInputSettings& settings = d.video.settings();
  if (!d.file.writeHeader(settings.timescale, settings.indexFirst)) return false;
  d.pool = std::make_unique<PixelBufferPool>(static_cast<int>(settings.width),
                                             static_cast<int>(settings.height));
  d.thread.setStatus(WriterStatus::kWriting);
  return d.thread.start([&d](Job& job) { d.encodeJob(job); }, [&d] { d.finishFile(); });
}

bool VideoWriter::addSoundTrack(std::unique_ptr<SoundFeed> source, int64_t bitRate,
                                double fadeSeconds) {
  Impl& d = *impl_;
  if (!d.hasInput || d.sound || d.thread.status() != WriterStatus::kUnknown || !source)
    return d.fail("a sound track goes after the video input, before the writer starts");
  auto sound = std::make_unique<SoundTrack>(std::move(source), bitRate, fadeSeconds, d.fail,
                                            [&d](AVPacket* p) { return d.file.write(p, true); });
  if (!sound->add(d.file.format())) return false;
  d.sound = std::move(sound);
  return true;
}

void VideoWriter::addChapter(const std::string& title, double start, double end) {
  impl_->chapters.add(title, start, end);
}

void VideoWriter::setMetadata(const std::string& key, const std::string& value) {
  av_dict_set(&impl_->file.format()->metadata, key.c_str(), value.c_str(), 0);
}

PixelBufferPool* VideoWriter::pixelBufferPool() { return impl_->pool.get(); }

bool VideoWriter::isReadyForMoreMediaData() const { return impl_->thread.ready(); }

bool VideoWriter::append(PixelBufferHandle buffer, MediaTime time) {
  Impl& d = *impl_;
  const VideoInputSettings& settings = d.video.settings();
  if (d.thread.status() != WriterStatus::kWriting) return false;
  if (d.inputFinished) return d.fail("frame appended after the input was marked finished");
  if (!buffer || buffer->width() != settings.width || buffer->height() != settings.height) {
    return d.fail("pixel buffer missing or of another size than the track");
  }
  if (time.timescale < 1) return d.fail("presentation time with a timescale below 1");
  int64_t pts = av_rescale_q_rnd(time.value, AVRational{1, time.timescale},
                                 AVRational{1, settings.timescale}, AV_ROUND_NEAR_INF);
  if (pts <= d.lastAppendedPts) {
    return d.fail("presentation time " + std::to_string(pts) + "/" +
                  std::to_string(settings.timescale) + " does not follow the previous frame's");
  }
  if (!d.thread.push(Job{std::move(buffer), pts})) return false;
  d.lastAppendedPts = pts;
  return true;
}

void VideoWriter::markAsFinished() { impl_->inputFinished = true; }

void VideoWriter::finishWriting(std::function<void()> completion) {
  impl_->thread.finish(std::move(completion));
}

WriterStatus VideoWriter::status() const { return impl_->thread.status(); }

VideoWriter::Times VideoWriter::times() const { return {impl_->converting, impl_->encoding}; }

std::string VideoWriter::error() const { return impl_->thread.error(); }

}  // namespace media
