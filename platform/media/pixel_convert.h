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

// Planes of an 8-bit 4:2:0 picture, strides in bytes.
struct Yuv420pPlanes {
  uint8_t* y;
  uint8_t* cb;
  uint8_t* cr;
  ptrdiff_t yStride, cbStride, crStride;
};

// A BGRA picture of even width and height to BT.709 limited-range Y'CbCr
// 4:2:0 (Y 16..235, Cb/Cr 16..240); each chroma sample is taken from the
// average of its 2 × 2 pixels. Alpha is ignored.
void bgraToYuv420p(const uint8_t* bgra, ptrdiff_t bgraStride, int width, int height,
                   const Yuv420pPlanes& out);

// Cairo's premultiplied BGRA to the straight alpha the coders take, in
// place: colour divided by opacity wherever a pixel is partly transparent.
void unpremultiplyBgra(uint8_t* bgra, ptrdiff_t bgraStride, int width, int height);

}  // namespace media
