// Writer set-up: the movie opened at the size and bit rate of its frames.
#include <cmath>

#include "vuzizeri/recorder/frame_budget.h"
#include "vuzizeri/recorder/recorder.h"

namespace vuz {

void Vuzizeri::prepararWriter() {
  std::optional<int64_t> bitRate = frame_ ? averageBitRate(frame_->width, frame_->height, args.fps)
                                          : averageBitRate(pxW, pxH, args.fps);
  std::string why;
  if (bitRate)
    writer = platform_.openWriter(
        MovieRequest{args.outPath, frame_ ? frame_->width : pxW, frame_ ? frame_->height : pxH,
                     *bitRate, args.fps, args.form, args.keepsAlpha(), !args.audioFile.empty(),
                     part_ ? partTags(*part_) : decltype(MovieRequest::tags){},
                     platform_.heartbeat},
        &why);
  if (!writer)
    platform_.fail(why.empty() ? "não abriu o writer" : "não abriu o writer: " + why);
  else
    budget::startRecording();
}

}  // namespace vuz
