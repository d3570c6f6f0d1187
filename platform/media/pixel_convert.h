#pragma once

#include <cstddef>
#include <cstdint>

namespace media {

// Planes of a 10-bit 4:4:4 picture with alpha, strides in bytes.
struct Yuva444p10Planes {
  uint16_t* y;
  uint16_t* cb;
  uint16_t* cr;
  uint16_t* a;
  ptrdiff_t yStride, cbStride, crStride, aStride;
};

// Rows [firstRow, endRow) of a BGRA picture to BT.709 limited-range Y'CbCr
// (Y 64..940, Cb/Cr 64..960) and alpha widened as a << 2 | a >> 6, so that
// 10-bit alpha shifted back by 2 gives the original byte.
void bgraToYuva444p10(const uint8_t* bgra, ptrdiff_t bgraStride, int width, int firstRow,
                      int endRow, const Yuva444p10Planes& out);

}  // namespace media
