#include "platform/media/pixel_buffer.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace media {

namespace detail {

struct PixelBufferStore {
  int width = 0;
  int height = 0;
  ptrdiff_t bytesPerRow = 0;
  std::mutex mutex;
  std::vector<PixelBuffer*> idle;

  ~PixelBufferStore() {
    for (PixelBuffer* b : idle) delete b;
  }

  static PixelBuffer* allocate(int width, int height, ptrdiff_t bytesPerRow) {
    size_t bytes = static_cast<size_t>(bytesPerRow) * static_cast<size_t>(height);
    void* data = std::aligned_alloc(64, bytes == 0 ? 64 : bytes);
    if (!data) return nullptr;
    // Pixels a frame leaves undrawn must not show whatever the heap held.
    std::memset(data, 0, bytes == 0 ? 64 : bytes);
    auto* b = new (std::nothrow) PixelBuffer;
    if (!b) {
      std::free(data);
      return nullptr;
    }
    b->data_ = static_cast<uint8_t*>(data);
    b->bytesPerRow_ = bytesPerRow;
    b->width_ = width;
    b->height_ = height;
    return b;
  }
};

}  // namespace detail

PixelBuffer::~PixelBuffer() { std::free(data_); }

void PixelBufferRelease::operator()(PixelBuffer* buffer) const {
  // Moving the reference out first breaks the buffer → store cycle while the
  // buffer sits idle; the store may die here if its pool already has.
  std::shared_ptr<detail::PixelBufferStore> home = std::move(buffer->home_);
  std::lock_guard lock(home->mutex);
  home->idle.push_back(buffer);
}

PixelBufferPool::PixelBufferPool(int width, int height)
    : store_(std::make_shared<detail::PixelBufferStore>()) {
  store_->width = width;
  store_->height = height;
  store_->bytesPerRow = (static_cast<ptrdiff_t>(width) * 4 + 63) / 64 * 64;
}

PixelBufferPool::~PixelBufferPool() = default;

PixelBufferHandle PixelBufferPool::createPixelBuffer() {
  PixelBuffer* buffer = nullptr;
  {
    std::lock_guard lock(store_->mutex);
    if (!store_->idle.empty()) {
      buffer = store_->idle.back();
      store_->idle.pop_back();
    }
  }
  if (!buffer) {
    buffer = detail::PixelBufferStore::allocate(store_->width, store_->height, store_->bytesPerRow);
    if (!buffer) return nullptr;
  }
  buffer->home_ = store_;
  return PixelBufferHandle(buffer);
}

int PixelBufferPool::width() const { return store_->width; }
int PixelBufferPool::height() const { return store_->height; }
ptrdiff_t PixelBufferPool::bytesPerRow() const { return store_->bytesPerRow; }

}  // namespace media
