#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace media {

namespace detail {
struct PixelBufferStore;
}

// One frame of 32-bit BGRA pixels (bytes blue, green, red, alpha in memory),
// rows `bytesPerRow()` apart; a row may be wider than width × 4.
class PixelBuffer {
 public:
  uint8_t* baseAddress() const { return data_; }
  ptrdiff_t bytesPerRow() const { return bytesPerRow_; }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  friend struct detail::PixelBufferStore;
  friend struct PixelBufferRelease;
  friend class PixelBufferPool;
  PixelBuffer() = default;
  ~PixelBuffer();
  uint8_t* data_ = nullptr;
  ptrdiff_t bytesPerRow_ = 0;
  int width_ = 0;
  int height_ = 0;
  // Set while the buffer is handed out: where it goes back on release.
  std::shared_ptr<detail::PixelBufferStore> home_;
};

// Returns the buffer to its pool instead of freeing it.
struct PixelBufferRelease {
  void operator()(PixelBuffer* buffer) const;
};
using PixelBufferHandle = std::unique_ptr<PixelBuffer, PixelBufferRelease>;

// Hands out BGRA buffers of one size and takes them back when their handle
// is released, so steady-state encoding allocates nothing. The pool only ever
// holds as many buffers as were out at the same time. Handles may outlive the
// pool; thread-safe.
class PixelBufferPool {
 public:
  PixelBufferPool(int width, int height);
  ~PixelBufferPool();
  PixelBufferPool(const PixelBufferPool&) = delete;
  PixelBufferPool& operator=(const PixelBufferPool&) = delete;

  // nullptr when memory for a new buffer cannot be had.
  PixelBufferHandle createPixelBuffer();

  int width() const;
  int height() const;
  // Rows are 64-byte aligned, so a row may be longer than width × 4.
  ptrdiff_t bytesPerRow() const;

 private:
  std::shared_ptr<detail::PixelBufferStore> store_;
};

}  // namespace media
