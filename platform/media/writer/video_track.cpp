#include "platform/media/writer/video_track.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/media/av_error.h"
#include "platform/media/thread_budget.h"
#include "platform/media/writer/codecs.h"
#include "platform/media/writer/prores_alpha.h"
#include "platform/system/resources.h"

namespace media {

VideoTrack::VideoTrack(Fail fail, TakePacket write)
    : fail_(fail), write_(std::move(write)), pictures_(fail) {}

bool VideoTrack::add(AVFormatContext* format, const VideoInputSettings& settings) {
  const char* name = codecOf(settings.codec).encoder;
  codec_ = avcodec_find_encoder_by_name(name);
  if (!codec_) return fail_(std::string("encoder ") + name + " is not available");
  track_.stream = avformat_new_stream(format, nullptr);
  if (!track_.stream) return fail_(avErrorText("avformat_new_stream", AVERROR(ENOMEM)));
  settings_ = settings;
  return true;
}

bool VideoTrack::open(const AVFormatContext* format) {
  return chooseThreads() && openEncoder(format);
}

bool VideoTrack::chooseThreads() {
  // As many frames in flight as the process has CPUs, fewer when its memory
  // is short; too little for one is a failure now rather than later.
  const int cpus = sys::usableCpus(sys::affinityCpus());
  coderThreads_ = coderThreads(isProRes(settings_.codec), cpus, sys::usableMemory(),
                               settings_.width, settings_.height);
  if (coderThreads_ < 1) return fail_(std::strerror(ENOMEM));
  converters_ = isProRes4444() ? conversionThreads(coderThreads_) : 1;
  return true;
}

bool VideoTrack::openEncoder(const AVFormatContext* format) {
  track_.encoder = newEncoder(codec_, format);
  if (!track_.encoder) return fail_(avErrorText("avcodec_alloc_context3", AVERROR(ENOMEM)));
  AVCodecContext* c = track_.encoder.get();
  c->width = static_cast<int>(settings_.layout ? settings_.layout->width : settings_.width);
  c->height = static_cast<int>(settings_.layout ? settings_.layout->height : settings_.height);
  c->time_base = AVRational{1, settings_.timescale};
  c->color_primaries = AVCOL_PRI_BT709;
  c->color_trc = AVCOL_TRC_BT709;
  c->colorspace = AVCOL_SPC_BT709;
  c->color_range = AVCOL_RANGE_MPEG;
  Dictionary options;
  codecOf(settings_.codec).setUp(c, &options, settings_, coderThreads_);
  if (!openTrack(&track_, codec_, &options, fail_)) return false;
  if (hasVp9Alpha()) {
    alpha_ = std::make_unique<Vp9Alpha>(fail_);
    if (!alpha_->open(codec_, *c, track_.stream)) return false;
  }
  if (isProRes(settings_.codec)) describeProRes();
  return true;
}

// In QuickTime a depth of 32 is what says "this track has alpha" (prores_aw
// leaves it unset, which writes 24); strict readers also want the field
// order ('fiel') and the pixel shape ('pasp') spelt out.
void VideoTrack::describeProRes() {
  AVCodecParameters* par = track_.stream->codecpar;
  par->bits_per_coded_sample = isProRes4444() ? 32 : 24;
  par->field_order = AV_FIELD_PROGRESSIVE;
  par->sample_aspect_ratio = AVRational{1, 1};
}

// The pictures the frames are converted into: the encoder's, or with VP9's
// alpha, 4:2:0 with an alpha plane that the two encoders share out.
AVPixelFormat VideoTrack::pictureFormat() const {
  return hasVp9Alpha() ? AV_PIX_FMT_YUVA420P : track_.encoder->pix_fmt;
}

bool VideoTrack::openPictures() {
  return pictures_.open(settings_, pictureFormat(), track_.encoder.get(), converters_);
}

bool VideoTrack::encodePicture(AVFrame* picture) {
  auto take = [this](AVPacket* p) { return this->take(p); };
  if (!alpha_) return encode(&track_, picture, take, fail_);
  if (!alpha_->encode(picture)) return false;
  if (!picture) return encode(&track_, nullptr, take, fail_);
  // The colour encoder sees the same picture without its alpha plane.
  picture->format = AV_PIX_FMT_YUV420P;
  picture->data[3] = nullptr;
  picture->linesize[3] = 0;
  return encode(&track_, picture, take, fail_);
}

bool VideoTrack::finish() {
  if (!encodePicture(nullptr)) return false;
  const int64_t ticks = codecOf(settings_.codec).loneFrameTicks;
  const int64_t lone = ticks > 0 ? ticks : std::max(1, settings_.timescale / 60);
  return held_.flush(lone, [this](AVPacket* last) { return write(last); });
}

bool VideoTrack::take(AVPacket* p) {
  if (isProRes4444() && !completeAlpha(p)) return false;
  if (alpha_ && !alpha_->attach(p)) return false;
  return held_.push(p, [this](AVPacket* ready) { return write(ready); });
}

// See prores_alpha.h: without this, Apple's decoders drop the alpha of
// FFmpeg 5's ProRes 4444.
bool VideoTrack::completeAlpha(AVPacket* p) {
  scratch_.assign(p->data, p->data + p->size);
  std::string reason;
  const int64_t completed = completeAlphaRunCodes(scratch_, &reason);
  if (completed < 0) return fail_(reason);
  if (completed == 0) return true;
  int r = av_packet_make_writable(p);
  if (r < 0) return fail_(avErrorText("av_packet_make_writable", r));
  const int growth = static_cast<int>(scratch_.size()) - p->size;
  if (growth > 0 && (r = av_grow_packet(p, growth)) < 0)
    return fail_(avErrorText("av_grow_packet", r));
  std::copy(scratch_.begin(), scratch_.end(), p->data);
  return true;
}

// A packet once its duration is known: from now on the video may end where
// this one does.
bool VideoTrack::write(AVPacket* p) {
  AVCodecContext* e = track_.encoder.get();
  end_ = static_cast<double>(p->pts + p->duration) * av_q2d(e->time_base);
  av_packet_rescale_ts(p, e->time_base, track_.stream->time_base);
  return write_(p);
}

}  // namespace media
