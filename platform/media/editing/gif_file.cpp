#include "platform/media/editing/gif_file.h"

#include <cerrno>
#include <cstring>

namespace media {

namespace {

constexpr int kClear = 256, kEnd = 257, kMaxCodes = 4096;
// The table of strings seen so far, as (prefix code, next byte) → code, in
// open addressing over a prime number of slots (as Unix compress does).
constexpr int kSlots = 5003;

class LzwEncoder {
 public:
  explicit LzwEncoder(std::vector<uint8_t>* out) : out_(out) {
    reset();
    emit(kClear);  // as every encoder begins
  }

  void encode(const uint8_t* data, size_t count) {
    if (count == 0) return;
    int prefix = data[0];
    for (size_t i = 1; i < count; ++i) {
      const int byte = data[i];
      const int32_t key = (prefix << 8) | byte;
      int slot = (byte << 4) ^ prefix;  // the first probe
      const int step = slot == 0 ? 1 : kSlots - slot;
      while (keys_[slot] >= 0 && keys_[slot] != key) {
        slot -= step;
        if (slot < 0) slot += kSlots;
      }
      if (keys_[slot] == key) {
        prefix = codes_[slot];
        continue;
      }
      emit(prefix);
      // Code 4095 is never given out: some decoders stumble on a full table.
      if (next_ < kMaxCodes - 1) {
        keys_[slot] = key;
        codes_[slot] = static_cast<int16_t>(next_++);
      } else {
        // The table is full: start again, as every decoder expects.
        emit(kClear);
        reset();
      }
      prefix = byte;
    }
    emit(prefix);
  }

  void finish() {
    emit(kEnd);
    if (bits_ > 0) pushByte(static_cast<uint8_t>(accumulator_));
    if (!block_.empty()) flushBlock();
    out_->push_back(0);
  }

 private:
  void reset() {
    std::memset(keys_, 0xff, sizeof keys_);
    next_ = kEnd + 1;
    codeSize_ = 9;
  }

  void emit(int code) {
    accumulator_ |= static_cast<uint32_t>(code) << bits_;
    bits_ += codeSize_;
    while (bits_ >= 8) {
      pushByte(static_cast<uint8_t>(accumulator_));
      accumulator_ >>= 8;
      bits_ -= 8;
    }
    // The decoder widens its codes once the table reaches the next power
    // of two; the encoder, one code behind it, does the same.
    if (code == kClear) {
      codeSize_ = 9;
    } else if (next_ == (1 << codeSize_) && codeSize_ < 12) {
      ++codeSize_;
    }
  }

  void pushByte(uint8_t byte) {
    block_.push_back(byte);
    if (block_.size() == 255) flushBlock();
  }

  void flushBlock() {
    out_->push_back(static_cast<uint8_t>(block_.size()));
    out_->insert(out_->end(), block_.begin(), block_.end());
    block_.clear();
  }

  std::vector<uint8_t>* out_;
  std::vector<uint8_t> block_;
  int32_t keys_[kSlots];
  int16_t codes_[kSlots];
  int next_ = 0, codeSize_ = 9;
  uint32_t accumulator_ = 0;
  int bits_ = 0;
};

}  // namespace

std::vector<uint8_t> gifLzw(const uint8_t* indices, size_t count) {
  std::vector<uint8_t> out;
  out.reserve(count / 2 + 64);
  LzwEncoder encoder(&out);
  encoder.encode(indices, count);
  encoder.finish();
  return out;
}

GifFile::~GifFile() {
  if (file_) std::fclose(file_);
}

bool GifFile::fail() {
  if (error_.empty()) error_ = errno ? std::strerror(errno) : "erro de escrita";
  return false;
}

bool GifFile::put(const void* data, size_t size) {
  if (!file_) return false;
  if (std::fwrite(data, 1, size, file_) != size) return fail();
  return true;
}

bool GifFile::putShort(int value) {
  const uint8_t bytes[2] = {static_cast<uint8_t>(value & 255), static_cast<uint8_t>(value >> 8)};
  return put(bytes, 2);
}

bool GifFile::open(const std::string& path, int width, int height,
                   const std::array<uint32_t, 256>& palette, int transparent) {
  errno = 0;
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) return fail();
  width_ = width;
  height_ = height;
  transparent_ = transparent;
  uint8_t table[3 * 256];
  for (int i = 0; i < 256; ++i) {
    table[3 * i] = static_cast<uint8_t>(palette[i] >> 16);
    table[3 * i + 1] = static_cast<uint8_t>(palette[i] >> 8);
    table[3 * i + 2] = static_cast<uint8_t>(palette[i]);
  }
  // The screen, with a global table of 256 colours; then NETSCAPE2.0's
  // loop count, 0 for ever.
  static const uint8_t kLoop[] = {0x21, 0xff, 0x0b, 'N', 'E', 'T', 'S', 'C', 'A', 'P',
                                  'E',  '2',  '.',  '0', 3,   1,   0,   0,   0};
  return put("GIF89a", 6) && putShort(width) && putShort(height) && putByte(0xf7) && putByte(0) &&
         putByte(0) && put(table, sizeof table) && put(kLoop, sizeof kLoop);
}

bool GifFile::addFrame(const std::vector<uint8_t>& indices, const Rect& rect, int delay) {
  // Graphic control: "do not dispose" (the frame stays under the next), the
  // delay, and the transparent index when there is one.
  const uint8_t packed = static_cast<uint8_t>(1 << 2 | (transparent_ >= 0 ? 1 : 0));
  if (!(putByte(0x21) && putByte(0xf9) && putByte(4) && putByte(packed) && putShort(delay) &&
        putByte(static_cast<uint8_t>(transparent_ >= 0 ? transparent_ : 0)) && putByte(0)))
    return false;
  if (!(putByte(0x2c) && putShort(rect.left) && putShort(rect.top) && putShort(rect.width) &&
        putShort(rect.height) && putByte(0) && putByte(8)))
    return false;
  const std::vector<uint8_t> coded = gifLzw(indices.data(), indices.size());
  return put(coded.data(), coded.size());
}

bool GifFile::finish() {
  if (!putByte(0x3b)) return false;
  const int closed = std::fclose(file_);
  file_ = nullptr;
  if (closed != 0) return fail();
  return true;
}

}  // namespace media
