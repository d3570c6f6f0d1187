#pragma once

#include <functional>
#include <string>

#include "platform/media/av_ptr.h"

namespace media {

// A decoder for `stream`, given its parameters; `setUp` may tune it before
// it opens. nullptr with the failing call's text in `error`.
CodecContextPtr openDecoder(const AVCodec* codec, const AVStream& stream,
                            const std::function<void(AVCodecContext*)>& setUp, std::string* error);

// One stream of an open input through its decoder, a frame at a time: the
// packets read, the other streams' passed by, a flush at the input's end.
// The readers word its failures their own way.
class StreamDecoder {
 public:
  StreamDecoder(AVFormatContext* input, int stream, AVCodecContext* decoder)
      : input_(input), stream_(stream), decoder_(decoder) {}

  enum class Step { kFrame, kEnd, kFailed };
  // Where decoding failed: the call and its code, or a packet the demuxer
  // marked damaged (only when told to refuse those).
  struct Failure {
    const char* call = nullptr;
    int code = 0;
    bool damaged = false;
  };

  // False when there was no memory for a packet.
  bool ready() const { return packet_ != nullptr; }
  // Every packet read, of every stream, before it is decoded.
  void watchPackets(std::function<void(const AVPacket&)> watcher) { watcher_ = std::move(watcher); }
  // A damaged packet is a failure rather than a moment concealed, and so is
  // a packet the decoder finds invalid.
  void setStrict(bool strict) { strict_ = strict; }

  // The next frame into `frame` (unreferenced first); kEnd once the decoder
  // has given its last frame after the input's end.
  Step next(AVFrame* frame);
  const Failure& failure() const { return failure_; }
  // From the start again, once the caller has sought there.
  void restart();

 private:
  Step fail(const char* call, int code);
  // Reads the next packet of the stream into the decoder; kFrame when there
  // may be frames to receive.
  Step feed();

  AVFormatContext* input_;
  int stream_;
  AVCodecContext* decoder_;
  PacketPtr packet_{av_packet_alloc()};
  std::function<void(const AVPacket&)> watcher_;
  bool strict_ = false;
  bool draining_ = false;
  Failure failure_;
};

}  // namespace media
