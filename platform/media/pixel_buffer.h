#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace media {

class PixelBufferPool;

// One frame of 32-bit BGRA pixels (bytes blue, green, red, alpha in memory),
// rows `bytesPerRow()` apart; a row may be wider than width × 4.
class PixelBuffer {
 public:
  uint8_t* baseAddress() const { return data_; }
  ptrdiff_t bytesPerRow() const { return bytesPerRow_; }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  friend class PixelBufferPool;
  PixelBuffer() = default;
  uint8_t* data_ = nullptr;
  ptrdiff_t bytesPerRow_ = 0;
  int width_ = 0;
  int height_ = 0;
};

// Returns the buffer to its pool instead of freeing it.
struct PixelBufferRelease {
  void operator()(PixelBuffer* buffer) const;
};
using PixelBufferHandle = std::unique_ptr<PixelBuffer, PixelBufferRelease>;

}  // namespace media
