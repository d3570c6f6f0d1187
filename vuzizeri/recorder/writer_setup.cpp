// Writer set-up: the movie opened at the size and bit rate of its frames, or
// at a target's.
#include <cmath>

#include "vuzizeri/recorder/frame_budget.h"
#include "vuzizeri/recorder/recorder.h"
#include "vuzizeri/target/picture_fit.h"

namespace vuz {

void Vuzizeri::prepararWriter() {
  const int64_t width = frame_ ? frame_->width : pxW;
  const int64_t height = frame_ ? frame_->height : pxH;
  std::optional<int64_t> bitRate = averageBitRate(width, height, args.fps);
  MovieRequest request{args.outPath,
                       width,
                       height,
                       bitRate.value_or(0),
                       args.fps,
                       args.form,
                       args.keepsAlpha(),
                       args.makesSound(),
                       part_ ? partTags(*part_) : decltype(MovieRequest::tags){},
                       platform_.heartbeat};
  if (const std::optional<Target>& target = args.target) {
    // The frames are made at the device's scale and brought to the
    // target's picture once, by the writer's scaler.
    std::optional<PictureFit> fit = fitPicture(width, height, *target);
    if (fit) {
      fit->layout.background[0] = static_cast<uint8_t>(args.frameBackground.red);
      fit->layout.background[1] = static_cast<uint8_t>(args.frameBackground.green);
      fit->layout.background[2] = static_cast<uint8_t>(args.frameBackground.blue);
      request.layout = fit->layout;
    }
    bitRate = target->bitRate();
    request.averageBitRate = *bitRate;
    request.storeReady = true;
    request.level = target->maxLevel.value_or(0);
    request.maxBitRate = target->highBitRate.value_or(0);
  }
  std::string why;
  if (bitRate) writer = platform_.openWriter(request, &why);
  if (!writer)
    platform_.fail(why.empty() ? "não abriu o writer" : "não abriu o writer: " + why);
  else
    budget::startRecording();
}

}  // namespace vuz
