#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace media {

// A GIF89a file written frame by frame: one palette of 256 colours for the
// whole animation, one index of it meaning "transparent", and frames that
// each cover a rectangle of the screen and stay, so that a frame made of
// what changed shows over the frames before it. It loops for ever.
class GifFile {
 public:
  struct Rect {
    int left = 0, top = 0, width = 0, height = 0;
  };

  GifFile() = default;
  ~GifFile();
  GifFile(const GifFile&) = delete;
  GifFile& operator=(const GifFile&) = delete;

  // Creates the file and writes the header. `palette` holds 0xRRGGBB
  // colours; `transparent` is the index that shows what lies below, or -1.
  // False, with the system's reason in error(), when the file cannot be made.
  bool open(const std::string& path, int width, int height,
            const std::array<uint32_t, 256>& palette, int transparent);
  // One frame: `indices` (rect.width × rect.height, rows one after another)
  // at `rect` of the screen, shown for `delay` hundredths of a second
  // (1 to 65535).
  bool addFrame(const std::vector<uint8_t>& indices, const Rect& rect, int delay);
  // Writes the trailer and closes the file; false when the disk refused it.
  bool finish();
  const std::string& error() const { return error_; }

 private:
  bool put(const void* data, size_t size);
  bool putByte(uint8_t byte) { return put(&byte, 1); }
  bool putShort(int value);
  bool fail();

  std::FILE* file_ = nullptr;
  int width_ = 0, height_ = 0, transparent_ = -1;
  std::string error_;
};

// The LZW code stream of GIF image data for `indices` at 8 bits a pixel:
// the minimum code size byte's codes (clear 256, end 257, 9 to 12 bits,
// least significant bit first), cut into sub-blocks of at most 255 bytes
// and ended by an empty one.
std::vector<uint8_t> gifLzw(const uint8_t* indices, size_t count);

}  // namespace media
