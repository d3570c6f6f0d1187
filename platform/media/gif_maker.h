#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// An animated GIF of one palette for the whole video, made in two passes:
// the colours of every frame counted as the frames come, then the frames,
// read back from a movie of them, mapped to the palette chosen from that
// count, with ordered dithering (stable from frame to frame, unlike error
// diffusion, so still parts of the picture do not shimmer).
namespace media {

class PaletteCounter {
 public:
  // Counts every `step`-th pixel of every `step`-th row of a BGRA picture.
  void count(const uint8_t* bgra, ptrdiff_t stride, int width, int height, int step = 4);
  // At most 256 colours (0xRRGGBB) for what was counted: the median cut of
  // the colours at 5 bits a channel, each box its weighted mean. One black
  // when nothing was counted.
  std::vector<uint32_t> palette() const;

 private:
  std::vector<uint64_t> counts_ = std::vector<uint64_t>(1 << 15);
};

// Writes the frames of `movie` as a GIF at `gif` that loops for ever, each
// frame lasting as it does in the movie (to the GIF's hundredths of a
// second). False with the reason in `error`.
bool writeGif(const std::string& movie, const std::string& gif,
              const std::vector<uint32_t>& palette, std::string* error);

}  // namespace media
