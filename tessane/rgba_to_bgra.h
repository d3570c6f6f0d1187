#pragma once

#include <cstddef>
#include <cstdint>

// Copies a tightly packed RGBA frame (rows of width × 4 bytes) into a BGRA
// buffer whose rows are `dstStride` bytes apart, swapping red and blue. Bytes
// of a destination row past width × 4 are left as they are.
void rgbaToBgra(const uint8_t* src, int64_t width, int64_t height, uint8_t* dst,
                ptrdiff_t dstStride);
