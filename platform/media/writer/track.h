#pragma once

#include <functional>
#include <string>

#include "platform/media/av_ptr.h"

namespace media {

// Records why the writer failed (the first reason is kept) and returns
// false, so that a failing step ends with `return fail(reason)`.
using Fail = std::function<bool(const std::string& reason)>;
// Takes a packet over for the file; false when that failed.
using TakePacket = std::function<bool(AVPacket*)>;

// One stream of the file and the encoder that feeds it.
struct Track {
  AVStream* stream = nullptr;
  CodecContextPtr encoder;
  PacketPtr packet;  // each track its own: the sound is written while a video packet waits here
};

// An encoder's context, with its headers kept apart where the container
// wants them so.
CodecContextPtr newEncoder(const AVCodec* codec, const AVFormatContext* format);
// Opens the track's encoder and gives the stream its parameters.
bool openTrack(Track* track, const AVCodec* codec, Dictionary* options, const Fail& fail);
// Sends `frame` (nullptr: the end) to the track's encoder and hands every
// packet it gives back, marked with the stream, to `take`.
bool encode(Track* track, AVFrame* frame, const TakePacket& take, const Fail& fail);

}  // namespace media
