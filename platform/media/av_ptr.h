#pragma once

// Owning pointers for the FFmpeg objects the writers and readers hold.

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/buffer.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace media {

struct CodecContextFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct BufferPoolFree {
  void operator()(AVBufferPool* p) const { av_buffer_pool_uninit(&p); }
};
struct SwsFree {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct SwrFree {
  void operator()(SwrContext* s) const { swr_free(&s); }
};
// A file opened for reading.
struct InputFormatClose {
  void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
// Closes the file without writing a trailer: an unfinished movie stays as it
// is on disk, and only finishWriting() ever completes one.
struct OutputFormatFree {
  void operator()(AVFormatContext* f) const {
    if (f->pb && !(f->oformat->flags & AVFMT_NOFILE)) avio_closep(&f->pb);
    avformat_free_context(f);
  }
};

// Options for an FFmpeg call, freed with whatever the call left unused.
class Dictionary {
 public:
  Dictionary() = default;
  ~Dictionary() { av_dict_free(&dict_); }
  Dictionary(const Dictionary&) = delete;
  Dictionary& operator=(const Dictionary&) = delete;
  void set(const char* key, const std::string& value) {
    av_dict_set(&dict_, key, value.c_str(), 0);
  }
  AVDictionary** out() { return &dict_; }

 private:
  AVDictionary* dict_ = nullptr;
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using BufferPoolPtr = std::unique_ptr<AVBufferPool, BufferPoolFree>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFree>;
using SwrPtr = std::unique_ptr<SwrContext, SwrFree>;
using OutputFormatPtr = std::unique_ptr<AVFormatContext, OutputFormatFree>;
using InputFormatPtr = std::unique_ptr<AVFormatContext, InputFormatClose>;

}  // namespace media
