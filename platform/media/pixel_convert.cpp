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

}  // namespace media
