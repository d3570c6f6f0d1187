#include "platform/media/reader/stream_decoder.h"

#include "platform/media/av_error.h"

namespace media {

CodecContextPtr openDecoder(const AVCodec* codec, const AVStream& stream,
                            const std::function<void(AVCodecContext*)>& setUp, std::string* error) {
  CodecContextPtr decoder(avcodec_alloc_context3(codec));
  if (!decoder) {
    *error = avErrorText("avcodec_alloc_context3", AVERROR(ENOMEM));
    return nullptr;
  }
  int r = avcodec_parameters_to_context(decoder.get(), stream.codecpar);
  if (r < 0) {
    *error = avErrorText("avcodec_parameters_to_context", r);
    return nullptr;
  }
  if (setUp) setUp(decoder.get());
  if ((r = avcodec_open2(decoder.get(), codec, nullptr)) < 0) {
    *error = avErrorText("avcodec_open2", r);
    return nullptr;
  }
  return decoder;
}

StreamDecoder::Step StreamDecoder::next(AVFrame* frame) {
  for (;;) {
    av_frame_unref(frame);
    const int r = avcodec_receive_frame(decoder_, frame);
    if (r == 0) return Step::kFrame;
    if (r == AVERROR_EOF) return Step::kEnd;
    if (r != AVERROR(EAGAIN)) return fail("avcodec_receive_frame", r);
    if (draining_) return Step::kEnd;
    if (const Step fed = feed(); fed != Step::kFrame) return fed;
  }
}

StreamDecoder::Step StreamDecoder::feed() {
  int r = av_read_frame(input_, packet_.get());
  if (r == AVERROR_EOF) {
    draining_ = true;
    r = avcodec_send_packet(decoder_, nullptr);
    return r < 0 && r != AVERROR_EOF ? fail("avcodec_send_packet", r) : Step::kFrame;
  }
  if (r < 0) return fail("av_read_frame", r);
  if (watcher_) watcher_(*packet_);
  if (packet_->stream_index != stream_) {
    av_packet_unref(packet_.get());
    return Step::kFrame;
  }
  const bool damaged = packet_->flags & AV_PKT_FLAG_CORRUPT;
  r = avcodec_send_packet(decoder_, packet_.get());
  av_packet_unref(packet_.get());
  if (strict_ && damaged) {
    failure_ = Failure{nullptr, 0, true};
    return Step::kFailed;
  }
  // Otherwise a damaged packet costs its own picture or sound only.
  if (r < 0 && r != AVERROR(EAGAIN) && (strict_ || r != AVERROR_INVALIDDATA))
    return fail("avcodec_send_packet", r);
  return Step::kFrame;
}

StreamDecoder::Step StreamDecoder::fail(const char* call, int code) {
  failure_ = Failure{call, code, false};
  return Step::kFailed;
}

void StreamDecoder::restart() {
  avcodec_flush_buffers(decoder_);
  draining_ = false;
}

}  // namespace media
