#include "platform/media/writer/vp9_alpha.h"

#include <cstring>
#include <string>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/intreadwrite.h>
}

#include "platform/media/av_error.h"

namespace media {

bool Vp9Alpha::open(const AVCodec* codec, const AVCodecContext& colour, AVStream* stream) {
  // FFmpeg's own alpha encoding takes the colour's settings, and at its
  // rates a fully transparent surround decodes as alpha 1 or 2. Alpha is
  // mostly flat: lossless costs little and keeps it exact, as ProRes does.
  encoder_.reset(avcodec_alloc_context3(codec));
  frame_.reset(av_frame_alloc());
  packet_.reset(av_packet_alloc());
  if (!encoder_ || !frame_ || !packet_)
    return fail_(avErrorText("avcodec_alloc_context3", AVERROR(ENOMEM)));
  AVCodecContext* a = encoder_.get();
  a->width = colour.width;
  a->height = colour.height;
  a->pix_fmt = AV_PIX_FMT_YUV420P;
  a->time_base = colour.time_base;
  a->framerate = colour.framerate;
  a->ticks_per_frame = colour.ticks_per_frame;
  a->gop_size = colour.gop_size;
  a->keyint_min = colour.keyint_min;
  a->thread_count = colour.thread_count;
  a->color_range = AVCOL_RANGE_JPEG;
  Dictionary options;
  options.set("lossless", "1");
  options.set("deadline", "realtime");
  options.set("cpu-used", "8");
  options.set("row-mt", "1");
  options.set("lag-in-frames", "0");
  int r = avcodec_open2(a, codec, options.out());
  if (r < 0) return fail_(avErrorText("avcodec_open2", r));
  if (!openPicture()) return false;
  // WebM says the track has alpha by a flag of its own.
  av_dict_set(&stream->metadata, "alpha_mode", "1", 0);
  return true;
}

bool Vp9Alpha::openPicture() {
  AVFrame* f = frame_.get();
  f->format = encoder_->pix_fmt;
  f->width = encoder_->width;
  f->height = encoder_->height;
  int r = av_frame_get_buffer(f, 0);
  if (r < 0) return fail_(avErrorText("av_frame_get_buffer", r));
  // Grey: the chroma of the alpha's pictures never changes.
  for (int plane = 1; plane < 3; ++plane)
    std::memset(f->data[plane], 128,
                static_cast<size_t>(f->linesize[plane]) * ((f->height + 1) / 2));
  return true;
}

bool Vp9Alpha::encode(const AVFrame* picture) {
  AVFrame* f = nullptr;
  if (picture) {
    f = frame_.get();
    int r = av_frame_make_writable(f);
    if (r < 0) return fail_(avErrorText("av_frame_make_writable", r));
    av_image_copy_plane(f->data[0], f->linesize[0], picture->data[3], picture->linesize[3],
                        picture->width, picture->height);
    f->pts = picture->pts;
  }
  int r = avcodec_send_frame(encoder_.get(), f);
  if (r < 0) return fail_(avErrorText("avcodec_send_frame", r));
  for (;;) {
    r = avcodec_receive_packet(encoder_.get(), packet_.get());
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
    if (r < 0) return fail_(avErrorText("avcodec_receive_packet", r));
    PacketPtr coded(av_packet_alloc());
    if (!coded) return fail_(avErrorText("av_packet_alloc", AVERROR(ENOMEM)));
    av_packet_move_ref(coded.get(), packet_.get());
    coded_.push_back(std::move(coded));
  }
}

// Matroska's BlockAdditional 1, as libvpx's decoder looks for it: the
// alpha frame of the same time, after its 8-byte id.
bool Vp9Alpha::attach(AVPacket* p) {
  while (!coded_.empty() && coded_.front()->pts < p->pts) coded_.pop_front();
  if (coded_.empty() || coded_.front()->pts != p->pts)
    return fail_("the alpha of frame " + std::to_string(p->pts) + " was not coded");
  const AVPacket& alpha = *coded_.front();
  uint8_t* side = av_packet_new_side_data(p, AV_PKT_DATA_MATROSKA_BLOCKADDITIONAL, alpha.size + 8);
  if (!side) return fail_(avErrorText("av_packet_new_side_data", AVERROR(ENOMEM)));
  AV_WB64(side, 1);
  std::memcpy(side + 8, alpha.data, static_cast<size_t>(alpha.size));
  coded_.pop_front();
  return true;
}

}  // namespace media
