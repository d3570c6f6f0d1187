#include "platform/media/writer/track.h"

#include "platform/media/av_error.h"

namespace media {

CodecContextPtr newEncoder(const AVCodec* codec, const AVFormatContext* format) {
  CodecContextPtr encoder(avcodec_alloc_context3(codec));
  if (encoder && (format->oformat->flags & AVFMT_GLOBALHEADER))
    encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  return encoder;
}

bool openTrack(Track* track, const AVCodec* codec, Dictionary* options, const Fail& fail) {
  AVCodecContext* e = track->encoder.get();
  int r = avcodec_open2(e, codec, options ? options->out() : nullptr);
  if (r < 0) return fail(avErrorText("avcodec_open2", r));
  r = avcodec_parameters_from_context(track->stream->codecpar, e);
  if (r < 0) return fail(avErrorText("avcodec_parameters_from_context", r));
  track->stream->time_base = e->time_base;
  track->packet.reset(av_packet_alloc());
  if (!track->packet) return fail(avErrorText("av_packet_alloc", AVERROR(ENOMEM)));
  return true;
}

bool encode(Track* track, AVFrame* frame, const TakePacket& take, const Fail& fail) {
  AVCodecContext* e = track->encoder.get();
  int r = avcodec_send_frame(e, frame);
  if (r < 0) return fail(avErrorText("avcodec_send_frame", r));
  for (;;) {
    AVPacket* p = track->packet.get();
    r = avcodec_receive_packet(e, p);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
    if (r < 0) return fail(avErrorText("avcodec_receive_packet", r));
    p->stream_index = track->stream->index;
    if (!take(p)) return false;
  }
}

}  // namespace media
