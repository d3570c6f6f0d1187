// The recorder's movie writer on its own: what the encoder makes of the
// frames' times.

#include <gtest/gtest.h>

#include <filesystem>
#include <future>

#include "movie_probe.h"
#include "scratch_dir.h"
#include "vuzizeri/movie/movie_writer.h"
#include "vuzizeri/movie/recording_writer.h"

namespace vuz {
namespace {

// A slow page is captured at fewer frames a second than the 60 the encoder
// expects; its file must still get the bits per second of the target, not a
// share of them per frame. Its chapters keep their names as a player lists
// them.
TEST(Mp4Writer, KeepsTheTargetBitRateAtFifteenFramesASecond) {
  const test_runs::ScratchDir scratch("mp4_writer");
  const std::string path = scratch.path / "slow.mp4";
  const int64_t width = 320, height = 240, frames = 90;
  const int64_t target = *averageBitRate(width, height);
  std::string error;
  auto writer = openMovieWriter({path, width, height, target}, nullptr, &error);
  ASSERT_TRUE(writer);
  uint32_t seed = 7;
  for (int64_t i = 0; i < frames; ++i) {
    // Grain: no encoder can code it in fewer bits than it is given.
    media::PixelBufferHandle buffer = writer->createPixelBuffer();
    ASSERT_TRUE(buffer);
    for (int64_t y = 0; y < height; ++y) {
      uint8_t* row = buffer->baseAddress() + y * buffer->bytesPerRow();
      for (int64_t x = 0; x < 4 * width; ++x)
        row[x] = static_cast<uint8_t>((seed = seed * 1664525 + 1013904223) >> 24);
    }
    writer->append(std::move(buffer), {i * 40, 600});  // 15 a second
  }
  // Chapter names as a storyboard might give them: a NUL ends a C string,
  // and the chapter track counts a name's bytes in 16 bits.
  std::string wide;
  for (int i = 0; i < 35000; ++i) wide += "é";
  writer->addChapter(std::string("um\0dois", 7), 0, 2);
  writer->addChapter(wide, 2, frames / 15.0);
  writer->markAsFinished();
  std::promise<void> finished;
  writer->finishWriting([&] { finished.set_value(); });
  finished.get_future().wait();
  ASSERT_EQ(writer->failure(), "");
  const double seconds = frames / 15.0;
  const double rate = 8.0 * std::filesystem::file_size(path) / seconds;
  EXPECT_NEAR(rate / target, 1.0, 0.15) << rate << " bit/s for a target of " << target;
  const MovieInfo movie = probeMovie(path);
  ASSERT_EQ(movie.chapters.size(), 2u);
  EXPECT_EQ(movie.chapters[0].first, "umdois");
  const std::string& cut = movie.chapters[1].first;
  EXPECT_TRUE(cut == wide.substr(0, 254)) << cut.size() << " bytes";  // whole characters
}

}  // namespace
}  // namespace vuz
