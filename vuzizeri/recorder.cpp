#include "vuzizeri/recorder.h"

namespace vuz {

Vuzizeri::Vuzizeri(const Arguments& arguments, const PixelSizes& sizes, Platform platform)
    : args(arguments),
      pxW(sizes.pxW),
      pxH(sizes.pxH),
      bandPx(sizes.bandPx),
      contentPx(sizes.contentPx),
      platform_(std::move(platform)) {}

}  // namespace vuz
