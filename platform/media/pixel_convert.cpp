#include "platform/media/pixel_convert.h"

#include <immintrin.h>

#include <algorithm>

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

void lumaRow(const uint8_t* __restrict src, int width, uint8_t* __restrict y, int x = 0) {
  for (; x < width; ++x) {
    int32_t b = src[4 * x + 0];
    int32_t g = src[4 * x + 1];
    int32_t r = src[4 * x + 2];
    y[x] = static_cast<uint8_t>((kY8R * r + kY8G * g + kY8B * b + kY8Offset) >> kShift);
  }
}

void chromaRow(const uint8_t* __restrict top, const uint8_t* __restrict bottom, int chromaWidth,
               uint8_t* __restrict cb, uint8_t* __restrict cr, int x = 0) {
  for (; x < chromaWidth; ++x) {
    int32_t b = top[8 * x + 0] + top[8 * x + 4] + bottom[8 * x + 0] + bottom[8 * x + 4];
    int32_t g = top[8 * x + 1] + top[8 * x + 5] + bottom[8 * x + 1] + bottom[8 * x + 5];
    int32_t r = top[8 * x + 2] + top[8 * x + 6] + bottom[8 * x + 2] + bottom[8 * x + 6];
    cb[x] = static_cast<uint8_t>((kCb8R * r + kCb8G * g + kCb8B * b + kC8Offset) >> (kShift + 2));
    cr[x] = static_cast<uint8_t>((kCr8R * r + kCr8G * g + kCr8B * b + kC8Offset) >> (kShift + 2));
  }
}

// The same sums with AVX2, 16 pixels of luma and 8 of chroma a step, to the
// same bit: every product and sum is the scalar code's, in 16-bit pairs
// multiplied and added into 32 bits. Green's luma weight does not fit 16
// bits, so green comes twice, with half the weight each time. The steps that
// do not fill a vector are left to the scalar code.
constexpr int16_t kY8GHalf = static_cast<int16_t>(kY8G / 2);
constexpr int16_t kY8GRest = static_cast<int16_t>(kY8G - kY8G / 2);

#define AVX2 __attribute__((target("avx2")))

// Eight pixels' luma as 32-bit lanes, in order.
AVX2 inline __m256i luma8(__m256i pixels) {
  // Each pixel's blue, green, green, red as 16-bit lanes, two pixels a lane.
  const __m256i firstPair =
      _mm256_setr_epi8(0, -1, 1, -1, 1, -1, 2, -1, 4, -1, 5, -1, 5, -1, 6, -1, 0, -1, 1, -1, 1, -1,
                       2, -1, 4, -1, 5, -1, 5, -1, 6, -1);
  const __m256i secondPair =
      _mm256_setr_epi8(8, -1, 9, -1, 9, -1, 10, -1, 12, -1, 13, -1, 13, -1, 14, -1, 8, -1, 9, -1, 9,
                       -1, 10, -1, 12, -1, 13, -1, 13, -1, 14, -1);
  const __m256i weights =
      _mm256_setr_epi16(kY8B, kY8GHalf, kY8GRest, kY8R, kY8B, kY8GHalf, kY8GRest, kY8R, kY8B,
                        kY8GHalf, kY8GRest, kY8R, kY8B, kY8GHalf, kY8GRest, kY8R);
  const __m256i a = _mm256_madd_epi16(_mm256_shuffle_epi8(pixels, firstPair), weights);
  const __m256i b = _mm256_madd_epi16(_mm256_shuffle_epi8(pixels, secondPair), weights);
  return _mm256_srai_epi32(_mm256_add_epi32(_mm256_hadd_epi32(a, b), _mm256_set1_epi32(kY8Offset)),
                           kShift);
}

AVX2 int lumaRowAvx2(const uint8_t* __restrict src, int width, uint8_t* __restrict y) {
  int x = 0;
  for (; x + 16 <= width; x += 16) {
    const __m256i lo = luma8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * x)));
    const __m256i hi =
        luma8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * x + 32)));
    const __m256i words = _mm256_permute4x64_epi64(_mm256_packs_epi32(lo, hi), 0xD8);
    const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(words, words), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y + x), _mm256_castsi256_si128(bytes));
  }
  return x;
}

// The 2 × 2 sums of eight pixels of each row, as 16-bit blue, green, red,
// alpha: four chroma samples, ordered 0 1 | 2 3 across the two lanes.
AVX2 inline __m256i chromaSums4(const uint8_t* top, const uint8_t* bottom) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i t = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(top));
  const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bottom));
  const __m256i lo = _mm256_add_epi16(_mm256_unpacklo_epi8(t, zero), _mm256_unpacklo_epi8(b, zero));
  const __m256i hi = _mm256_add_epi16(_mm256_unpackhi_epi8(t, zero), _mm256_unpackhi_epi8(b, zero));
  return _mm256_unpacklo_epi64(_mm256_add_epi16(lo, _mm256_srli_si256(lo, 8)),
                               _mm256_add_epi16(hi, _mm256_srli_si256(hi, 8)));
}

// Eight chroma samples from the sums of samples 0-3 and 4-7.
AVX2 inline void storeChroma8(__m256i first, __m256i second, __m256i weights, uint8_t* out) {
  __m256i v =
      _mm256_hadd_epi32(_mm256_madd_epi16(first, weights), _mm256_madd_epi16(second, weights));
  v = _mm256_srai_epi32(_mm256_add_epi32(v, _mm256_set1_epi32(kC8Offset)), kShift + 2);
  v = _mm256_permutevar8x32_epi32(v, _mm256_setr_epi32(0, 1, 4, 5, 2, 3, 6, 7));
  const __m128i words = _mm_packs_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(words, words));
}

AVX2 int chromaRowAvx2(const uint8_t* __restrict top, const uint8_t* __restrict bottom,
                       int chromaWidth, uint8_t* __restrict cb, uint8_t* __restrict cr) {
  const __m256i cbWeights = _mm256_setr_epi16(kCb8B, kCb8G, kCb8R, 0, kCb8B, kCb8G, kCb8R, 0, kCb8B,
                                              kCb8G, kCb8R, 0, kCb8B, kCb8G, kCb8R, 0);
  const __m256i crWeights = _mm256_setr_epi16(kCr8B, kCr8G, kCr8R, 0, kCr8B, kCr8G, kCr8R, 0, kCr8B,
                                              kCr8G, kCr8R, 0, kCr8B, kCr8G, kCr8R, 0);
  int x = 0;
  for (; x + 8 <= chromaWidth; x += 8) {
    const __m256i a = chromaSums4(top + 8 * x, bottom + 8 * x);
    const __m256i b = chromaSums4(top + 8 * x + 32, bottom + 8 * x + 32);
    storeChroma8(a, b, cbWeights, cb + x);
    storeChroma8(a, b, crWeights, cr + x);
  }
  return x;
}

#undef AVX2

bool hasAvx2() {
  static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
  return has;
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
    uint8_t* y0 = out.y + out.yStride * row;
    uint8_t* y1 = y0 + out.yStride;
    uint8_t* cb = out.cb + out.cbStride * (row / 2);
    uint8_t* cr = out.cr + out.crStride * (row / 2);
    if (hasAvx2()) {
      lumaRow(top, width, y0, lumaRowAvx2(top, width, y0));
      lumaRow(bottom, width, y1, lumaRowAvx2(bottom, width, y1));
      chromaRow(top, bottom, width / 2, cb, cr, chromaRowAvx2(top, bottom, width / 2, cb, cr));
    } else {
      lumaRow(top, width, y0);
      lumaRow(bottom, width, y1);
      chromaRow(top, bottom, width / 2, cb, cr);
    }
  }
}

void unpremultiplyBgra(uint8_t* bgra, ptrdiff_t bgraStride, int width, int height) {
  for (int row = 0; row < height; ++row) {
    uint8_t* p = bgra + bgraStride * row;
    for (int x = 0; x < width; ++x, p += 4) {
      const int a = p[3];
      if (a == 255 || a == 0) continue;
      for (int c = 0; c < 3; ++c)
        p[c] = static_cast<uint8_t>(std::min(255, (p[c] * 255 + a / 2) / a));
    }
  }
}

}  // namespace media
