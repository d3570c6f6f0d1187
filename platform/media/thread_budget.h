#pragma once

#include <cstdint>

// How many threads a writer runs, from what the process may use.
namespace media {

// Frames waiting for the encoder.
inline constexpr int64_t kQueueCapacity = 3;

// Bytes a writer holds for `coderThreads` frames in flight at w × h: BGRA
// frames (the caller's, the queue's, the worker's), a converted frame per
// coder thread and a few more, and for ProRes a worst-case packet per coder
// thread (about 9 bytes a pixel at quantiser 1).
int64_t writerMemory(bool proRes, int64_t width, int64_t height, int coderThreads);

// The coder threads: one per CPU, fewer when memory for them is short, so
// that a machine with many cores and little memory still records; 0 when
// not even one fits.
int coderThreads(bool proRes, int cpus, int64_t memory, int64_t width, int64_t height);

// Threads converting BGRA for the ProRes coder, splitting each frame's rows:
// one keeps up with about 12 coder threads (at 1080p a frame takes 5.1 ms to
// convert, and 55 ms to code on one core when it is flat graphics, 95 ms
// when it is grainy), so more are needed only beyond.
int conversionThreads(int coderThreads);

}  // namespace media
