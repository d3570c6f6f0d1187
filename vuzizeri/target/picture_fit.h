#pragma once

#include <cstdint>
#include <optional>

#include "platform/media/writer/video_writer.h"
#include "vuzizeri/target/targets.h"

namespace vuz {

// How frames of `width` × `height` are brought to the target's picture:
// covering it, the frame's aspect kept and its middle shown (cut()
// tells how much of a side is lost); or contained in it, centred, the rest
// background. Rectangles start on even pixels, for 4:2:0 chroma.
struct PictureFit {
  media::PictureLayout layout;
  double cut = 0;  // the most lost of either side, as a fraction of it
};
std::optional<PictureFit> fitPicture(int64_t width, int64_t height, const Target& target);

}  // namespace vuz
