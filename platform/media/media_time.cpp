#include "platform/media/media_time.h"

#include <cmath>

namespace media {

MediaTime mediaTimeFromSeconds(double seconds, int32_t timescale) {
  return MediaTime{std::llround(seconds * timescale), timescale};
}

}  // namespace media
