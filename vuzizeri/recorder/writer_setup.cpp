#include "vuzizeri/recorder/writer_setup.h"

#include <cmath>

#include "vuzizeri/recorder/frame_budget.h"
#include "vuzizeri/recorder/recorder.h"

namespace vuz {

std::optional<int64_t> averageBitRate(int64_t pxW, int64_t pxH, int fps) {
  int64_t pixels = 0;
  if (__builtin_mul_overflow(pxW, pxH, &pixels)) return std::nullopt;
  double rate = static_cast<double>(pixels) * fps * 0.07;
  if (!std::isfinite(rate) || rate >= 0x1p63 || rate < -0x1p63) return std::nullopt;
  return static_cast<int64_t>(rate);
}

void Vuzizeri::prepararWriter() {
  std::optional<int64_t> bitRate = frame_ ? averageBitRate(frame_->width, frame_->height, args.fps)
                                          : averageBitRate(pxW, pxH, args.fps);
  if (bitRate)
    writer = platform_.openWriter(MovieRequest{
        args.outPath, frame_ ? frame_->width : pxW, frame_ ? frame_->height : pxH, *bitRate,
        args.fps, args.formato, args.keepsAlpha(), !args.audioFile.empty(),
        part_ ? partTags(*part_) : decltype(MovieRequest::tags){}, platform_.heartbeat});
  if (!writer)
    platform_.fail("não abriu o writer");
  else
    budget::startRecording();
}

}  // namespace vuz
