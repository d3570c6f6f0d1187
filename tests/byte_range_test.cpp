// The one byte range the service serves of a video: ends past the file cut
// to it, suffixes longer than it, starts past it, and headers it ignores.

#include <gtest/gtest.h>

#include "vuzizeri/server/byte_range.h"

namespace {

using server::byteRange;
using Answer = server::ByteRange::Answer;

// "first-last", "whole" or "416" for `header` on a file of `length` bytes.
std::string served(const char* header, uint64_t length = 33837) {
  const server::ByteRange r = byteRange(header, length);
  if (r.answer == Answer::kWhole) return "whole";
  if (r.answer == Answer::kUnsatisfiable) return "416";
  return std::to_string(r.first) + "-" + std::to_string(r.last);
}

TEST(ByteRange, ClampsToTheFileAndServesOne) {
  EXPECT_EQ(served("bytes=100-199"), "100-199");
  EXPECT_EQ(served("bytes=0-1048575"), "0-33836");
  EXPECT_EQ(served("bytes=33000-"), "33000-33836");
  EXPECT_EQ(served("bytes=-500"), "33337-33836");
  EXPECT_EQ(served("bytes=-99999999"), "0-33836");
  EXPECT_EQ(served("bytes=-99999999999999999999999"), "0-33836");
  EXPECT_EQ(served("Bytes = 5-5 "), "whole") << "no spaces around =";
  EXPECT_EQ(served(" BYTES=5-5 "), "5-5");

  EXPECT_EQ(served("bytes=33837-"), "416");
  EXPECT_EQ(served("bytes=99999999999999999999-"), "416");
  EXPECT_EQ(served("bytes=-0"), "416");
  EXPECT_EQ(served("bytes=0-", 0), "416");

  for (const char* ignored :
       {(const char*)nullptr, "", "bytes=", "bytes=-", "bytes=5-4", "bytes=a-b", "bytes=1-2,3-4",
        "bytes=0-,0-", "items=0-5", "bytes=+1-2", "bytes=1--2"})
    EXPECT_EQ(served(ignored), "whole") << (ignored ? ignored : "null");
}

}  // namespace
