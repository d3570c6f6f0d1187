#include "platform/media/pixel_convert.h"

namespace media {

namespace {

constexpr double kKr = 0.2126;
constexpr double kKb = 0.0722;
constexpr double kKg = 1.0 - kKr - kKb;
constexpr int kShift = 16;
constexpr double kOne = 1 << kShift;
// 10-bit limited range spans 876 codes for luma and 896 for chroma.
constexpr double kYScale = 876.0 / 255.0 * kOne;
constexpr double kCScale = 896.0 / 255.0 * kOne;

constexpr int32_t fix(double v) { return static_cast<int32_t>(v < 0 ? v - 0.5 : v + 0.5); }

constexpr int32_t kYR = fix(kKr * kYScale);
constexpr int32_t kYB = fix(kKb * kYScale);
constexpr int32_t kYG = fix(kYScale) - kYR - kYB;  // white lands exactly on 940
constexpr int32_t kCbR = fix(-kKr / (2 * (1 - kKb)) * kCScale);
constexpr int32_t kCbB = fix(0.5 * kCScale);
constexpr int32_t kCbG = -kCbR - kCbB;  // greys land exactly on 512
constexpr int32_t kCrR = fix(0.5 * kCScale);
constexpr int32_t kCrB = fix(-kKb / (2 * (1 - kKr)) * kCScale);
constexpr int32_t kCrG = -kCrR - kCrB;
constexpr int32_t kRound = 1 << (kShift - 1);
constexpr int32_t kYOffset = (64 << kShift) + kRound;
constexpr int32_t kCOffset = (512 << kShift) + kRound;

// Plain integer arithmetic on restrict pointers, written so the compiler
// turns it into SIMD code.
void convertRow(const uint8_t* __restrict src, int width, uint16_t* __restrict y,
                uint16_t* __restrict cb, uint16_t* __restrict cr, uint16_t* __restrict a) {
  for (int x = 0; x < width; ++x) {
    int32_t b = src[4 * x + 0];
    int32_t g = src[4 * x + 1];
    int32_t r = src[4 * x + 2];
    int32_t al = src[4 * x + 3];
    y[x] = static_cast<uint16_t>((kYR * r + kYG * g + kYB * b + kYOffset) >> kShift);
    cb[x] = static_cast<uint16_t>((kCbR * r + kCbG * g + kCbB * b + kCOffset) >> kShift);
    cr[x] = static_cast<uint16_t>((kCrR * r + kCrG * g + kCrB * b + kCOffset) >> kShift);
    a[x] = static_cast<uint16_t>((al << 2) | (al >> 6));
  }
}

// The same matrix for 8-bit output: 219 luma and 224 chroma codes.
constexpr double kYScale8 = 219.0 / 255.0 * kOne;
constexpr double kCScale8 = 224.0 / 255.0 * kOne;
constexpr int32_t kY8R = fix(kKr * kYScale8);
constexpr int32_t kY8B = fix(kKb * kYScale8);
constexpr int32_t kY8G = fix(kYScale8) - kY8R - kY8B;
constexpr int32_t kCb8R = fix(-kKr / (2 * (1 - kKb)) * kCScale8);
constexpr int32_t kCb8B = fix(0.5 * kCScale8);
constexpr int32_t kCb8G = -kCb8R - kCb8B;
constexpr int32_t kCr8R = fix(0.5 * kCScale8);
constexpr int32_t kCr8B = fix(-kKb / (2 * (1 - kKr)) * kCScale8);
constexpr int32_t kCr8G = -kCr8R - kCr8B;
constexpr int32_t kY8Offset = (16 << kShift) + kRound;
// Chroma works on sums of four pixels, two more bits of scale.
constexpr int32_t kC8Offset = (128 << (kShift + 2)) + (1 << (kShift + 1));

void lumaRow(const uint8_t* __restrict src, int width, uint8_t* __restrict y) {
  for (int x = 0; x < width; ++x) {
    int32_t b = src[4 * x + 0];
    int32_t g = src[4 * x + 1];
    int32_t r = src[4 * x + 2];
    y[x] = static_cast<uint8_t>((kY8R * r + kY8G * g + kY8B * b + kY8Offset) >> kShift);
  }
}

void chromaRow(const uint8_t* __restrict top, const uint8_t* __restrict bottom, int chromaWidth,
               uint8_t* __restrict cb, uint8_t* __restrict cr) {
  for (int x = 0; x < chromaWidth; ++x) {
    int32_t b = top[8 * x + 0] + top[8 * x + 4] + bottom[8 * x + 0] + bottom[8 * x + 4];
    int32_t g = top[8 * x + 1] + top[8 * x + 5] + bottom[8 * x + 1] + bottom[8 * x + 5];
    int32_t r = top[8 * x + 2] + top[8 * x + 6] + bottom[8 * x + 2] + bottom[8 * x + 6];
    cb[x] = static_cast<uint8_t>((kCb8R * r + kCb8G * g + kCb8B * b + kC8Offset) >> (kShift + 2));
    cr[x] = static_cast<uint8_t>((kCr8R * r + kCr8G * g + kCr8B * b + kC8Offset) >> (kShift + 2));
  }
}

template <typename T>
T* rowAt(T* base, ptrdiff_t stride, int row) {
  return reinterpret_cast<T*>(reinterpret_cast<uint8_t*>(base) + stride * row);
}

}  // namespace

void bgraToYuva444p10(const uint8_t* bgra, ptrdiff_t bgraStride, int width, int firstRow,
                      int endRow, const Yuva444p10Planes& out) {
  for (int row = firstRow; row < endRow; ++row) {
    convertRow(bgra + bgraStride * row, width, rowAt(out.y, out.yStride, row),
               rowAt(out.cb, out.cbStride, row), rowAt(out.cr, out.crStride, row),
               rowAt(out.a, out.aStride, row));
  }
}

void bgraToYuv420p(const uint8_t* bgra, ptrdiff_t bgraStride, int width, int height,
                   const Yuv420pPlanes& out) {
  for (int row = 0; row + 1 < height; row += 2) {
    const uint8_t* top = bgra + bgraStride * row;
    const uint8_t* bottom = top + bgraStride;
    lumaRow(top, width, out.y + out.yStride * row);
    lumaRow(bottom, width, out.y + out.yStride * (row + 1));
    chromaRow(top, bottom, width / 2, out.cb + out.cbStride * (row / 2),
              out.cr + out.crStride * (row / 2));
  }
}

}  // namespace media
