#pragma once

#include <cstdint>

// What a GET with a Range header gets of a file: the whole, one part, or
// nothing. One range is served; a header of several, or one that does not
// parse, is ignored and the whole file goes, which HTTP allows, so that no
// request can make the answer larger than the file.
namespace server {

struct ByteRange {
  enum class Answer { kWhole, kPart, kUnsatisfiable };
  Answer answer = Answer::kWhole;
  uint64_t first = 0, last = 0;  // kPart: both included
};

// `header` is the Range header's value, or null.
ByteRange byteRange(const char* header, uint64_t length);

}  // namespace server
