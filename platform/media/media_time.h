#pragma once

#include <cstdint>

namespace media {

// A rational time: value / timescale seconds.
struct MediaTime {
  int64_t value = 0;
  int32_t timescale = 1;

  double seconds() const { return static_cast<double>(value) / timescale; }
};

// Nearest tick of `timescale` to `seconds` (seconds must be finite).
MediaTime mediaTimeFromSeconds(double seconds, int32_t timescale);

}  // namespace media
