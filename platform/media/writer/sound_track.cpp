#include "platform/media/writer/sound_track.h"

#include <algorithm>
#include <cmath>
#include <string>

extern "C" {
#include <libavutil/channel_layout.h>
}

#include "platform/media/av_error.h"

namespace media {

SoundTrack::SoundTrack(std::unique_ptr<SoundFeed> source, int64_t bitRate, double fadeSeconds,
                       Fail fail, TakePacket write)
    : source_(std::move(source)),
      bitRate_(bitRate),
      fade_(std::llround(fadeSeconds * kSoundRate)),
      fail_(std::move(fail)),
      write_(std::move(write)) {}

bool SoundTrack::add(AVFormatContext* format) {
  track_.stream = avformat_new_stream(format, nullptr);
  if (!track_.stream) return fail_(avErrorText("avformat_new_stream", AVERROR(ENOMEM)));
  return true;
}

bool SoundTrack::open(const AVFormatContext* format, const char* encoder) {
  // libvorbis takes the planar samples as AAC does.
  const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
  if (!codec) return fail_(std::string("encoder ") + encoder + " is not available");
  track_.encoder = newEncoder(codec, format);
  frame_.reset(av_frame_alloc());
  if (!track_.encoder || !frame_)
    return fail_(avErrorText("avcodec_alloc_context3", AVERROR(ENOMEM)));
  AVCodecContext* c = track_.encoder.get();
  c->sample_fmt = AV_SAMPLE_FMT_FLTP;
  c->sample_rate = kSoundRate;
  c->time_base = AVRational{1, kSoundRate};
  c->bit_rate = bitRate_;
  const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  av_channel_layout_copy(&c->ch_layout, &stereo);
  return openTrack(&track_, codec, nullptr, fail_);
}

bool SoundTrack::follow(double videoEnd) {
  const int64_t until = static_cast<int64_t>(videoEnd * kSoundRate) - fade_;
  return encodeSound(until, INT64_MAX, false);
}

bool SoundTrack::finish(double videoEnd) {
  const int64_t total = std::llround(videoEnd * kSoundRate);
  return encodeSound(total, total, true) && encodeFrame(nullptr);
}

bool SoundTrack::encodeSound(int64_t until, int64_t total, bool last) {
  const int frameSize = track_.encoder->frame_size > 0 ? track_.encoder->frame_size : 1024;
  while (written_ < until) {
    const int64_t count = std::min<int64_t>(frameSize, until - written_);
    if (count < frameSize && !last) break;
    if (!readSamples(count, total)) return false;
    frame_->pts = written_;
    written_ += count;
    if (!encodeFrame(frame_.get())) return false;
  }
  return true;
}

bool SoundTrack::readSamples(int64_t count, int64_t total) {
  const AVCodecContext* c = track_.encoder.get();
  AVFrame* f = frame_.get();
  av_frame_unref(f);
  f->format = c->sample_fmt;
  f->sample_rate = c->sample_rate;
  f->nb_samples = static_cast<int>(count);
  av_channel_layout_copy(&f->ch_layout, &c->ch_layout);
  int r = av_frame_get_buffer(f, 0);
  if (r < 0) return fail_(avErrorText("av_frame_get_buffer", r));
  float* left = reinterpret_cast<float*>(f->data[0]);
  float* right = reinterpret_cast<float*>(f->data[1]);
  if (!source_->read(left, right, f->nb_samples)) return fail_(source_->error());
  for (int i = 0; i < f->nb_samples; ++i) {
    const float gain = fadeOutGain(written_ + i, total, fade_);
    left[i] *= gain;
    right[i] *= gain;
  }
  return true;
}

bool SoundTrack::encodeFrame(AVFrame* frame) {
  return encode(
      &track_, frame,
      [this](AVPacket* p) {
        av_packet_rescale_ts(p, track_.encoder->time_base, track_.stream->time_base);
        return write_(p);
      },
      fail_);
}

}  // namespace media
