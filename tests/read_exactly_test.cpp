#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "tessane/frame_intake.h"

namespace {

// A pipe whose writer side delivers `data` in pieces of `piece` bytes and
// then closes, so the reader sees short reads and then end of input.
class ChoppedPipe {
 public:
  ChoppedPipe(std::vector<uint8_t> data, size_t piece) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    readFd_ = fds[0];
    writer_ = std::thread([fd = fds[1], data = std::move(data), piece] {
      for (size_t at = 0; at < data.size(); at += piece) {
        size_t n = std::min(piece, data.size() - at);
        if (write(fd, data.data() + at, n) != static_cast<ssize_t>(n)) break;
      }
      close(fd);
    });
  }
  ~ChoppedPipe() {
    writer_.join();
    close(readFd_);
  }
  int fd() const { return readFd_; }

 private:
  int readFd_ = -1;
  std::thread writer_;
};

std::vector<uint8_t> pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 31 + 7);
  return v;
}

TEST(ReadExactly, JoinsShortReadsIntoWholeFramesAndDropsAPartialLastFrame) {
  const int64_t frameBytes = 1000;
  std::vector<uint8_t> input = pattern(2 * frameBytes + frameBytes / 2);
  ChoppedPipe pipe(input, 7);
  std::vector<uint8_t> frame(frameBytes);
  for (int n = 0; n < 2; ++n) {
    ASSERT_TRUE(readExactly(pipe.fd(), frame.data(), frameBytes)) << "frame " << n;
    EXPECT_TRUE(std::equal(frame.begin(), frame.end(), input.begin() + n * frameBytes));
  }
  EXPECT_FALSE(readExactly(pipe.fd(), frame.data(), frameBytes));
}

TEST(ReadExactly, EndsAtEmptyInputAndOnAReadError) {
  ChoppedPipe empty({}, 1);
  std::vector<uint8_t> frame(4);
  EXPECT_FALSE(readExactly(empty.fd(), frame.data(), 4));
  EXPECT_FALSE(readExactly(-1, frame.data(), 4));
}

TEST(ReadExactly, NeverReadsPastTheFrame) {
  // The bytes after the first frame must still be in the pipe for the next.
  ChoppedPipe pipe(pattern(12), 12);
  std::vector<uint8_t> frame(8);
  ASSERT_TRUE(readExactly(pipe.fd(), frame.data(), 4));
  ASSERT_TRUE(readExactly(pipe.fd(), frame.data(), 8));
  const std::vector<uint8_t> all = pattern(12);
  EXPECT_EQ(frame, std::vector<uint8_t>(all.begin() + 4, all.end()));
}

}  // namespace
