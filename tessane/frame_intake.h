#pragma once

#include <cstdint>

#include "platform/media/writer/video_writer.h"

// The frame geometry and rate from the command line, already validated.
struct FrameFormat {
  int64_t width = 0;
  int64_t height = 0;
  int32_t fps = 0;
};

// Reads exactly `count` bytes from `fd` into `frame` (room for the whole
// frame, reserved by the caller before the first read), joining short reads
// and never asking for more than the rest of the frame; a non-blocking `fd`
// is waited on when it has nothing yet. False at end of input or on a read
// error before the frame is whole; the partial frame is then dropped.
bool readExactly(int fd, uint8_t* frame, int64_t count);

// Reads frames from `fd` until the input ends and appends each to `writer`
// (started, ProRes input of the format's size) at frameIndex / fps. Returns
// the number of frames appended; ends the process through fail() when a
// frame cannot be buffered or written.
int64_t appendFrames(media::VideoWriter& writer, const FrameFormat& format, int fd);

// Finishes the movie and waits for the writer; fail()s when nothing was
// appended or the writer ends failed.
void finishMovie(media::VideoWriter& writer, int64_t frameCount);
