// The H.264/MPEG-4 path of VideoWriter, as the recorder uses it, and the
// writer's contract shared by both codecs.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <semaphore>
#include <vector>

#include "movie_probe.h"
#include "platform/media/video_writer.h"

namespace fs = std::filesystem;
using media::FileType;
using media::MediaTime;
using media::VideoWriter;
using media::WriterStatus;

namespace {

class H264WriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/writer_test_XXXXXX";
    dir_ = mkdtemp(templ);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

media::VideoInputSettings h264Settings(int width, int height) {
  media::VideoInputSettings s;
  s.codec = media::VideoCodec::kH264;
  s.width = width;
  s.height = height;
  s.h264.averageBitRate = static_cast<int64_t>(width * height * 60.0 * 0.07);
  s.expectsMediaDataInRealTime = true;
  s.timescale = 600;
  return s;
}

// Smooth diagonal luma ramp plus a bright square that moves with `n`.
void paint(media::PixelBuffer& b, int n) {
  for (int y = 0; y < b.height(); ++y) {
    uint8_t* row = b.baseAddress() + y * b.bytesPerRow();
    for (int x = 0; x < b.width(); ++x) {
      bool square = std::abs(x - 5 * n - 20) < 12 && std::abs(y - b.height() / 2) < 12;
      uint8_t v = static_cast<uint8_t>((x + y) * 200 / (b.width() + b.height()));
      row[4 * x + 0] = square ? 30 : v;                       // blue
      row[4 * x + 1] = square ? 220 : v;                      // green
      row[4 * x + 2] = square ? 60 : static_cast<uint8_t>(255 - v);  // red
      row[4 * x + 3] = 255;
    }
  }
}

// BT.709 limited-range luma of what paint() drew.
std::vector<double> expectedLuma(int width, int height, int n) {
  std::vector<double> luma;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      bool square = std::abs(x - 5 * n - 20) < 12 && std::abs(y - height / 2) < 12;
      double v = (x + y) * 200 / (width + height);
      double b = square ? 30 : v, g = square ? 220 : v, r = square ? 60 : 255 - v;
      luma.push_back(16 + 219 * (0.2126 * r + 0.7152 * g + 0.0722 * b) / 255);
    }
  }
  return luma;
}

struct Outcome {
  WriterStatus status;
  std::string error;
};

Outcome writeMovie(const std::string& path, FileType type, const media::VideoInputSettings& s,
                   const std::vector<int64_t>& ticks) {
  std::string error;
  auto writer = VideoWriter::create(path, type, &error);
  if (!writer) return {WriterStatus::kFailed, error};
  EXPECT_TRUE(writer->addInput(s));
  if (!writer->startWriting()) return {writer->status(), writer->error()};
  for (size_t n = 0; n < ticks.size(); ++n) {
    while (!writer->isReadyForMoreMediaData()) usleep(500);
    media::PixelBufferHandle buffer = writer->pixelBufferPool()->createPixelBuffer();
    paint(*buffer, static_cast<int>(n));
    if (!writer->append(std::move(buffer), MediaTime{ticks[n], s.timescale})) break;
  }
  writer->markAsFinished();
  std::binary_semaphore done(0);
  writer->finishWriting([&] { done.release(); });
  done.acquire();
  return {writer->status(), writer->error()};
}

double lumaPsnr(const AVFrame& f, const std::vector<double>& expected) {
  double sum = 0;
  for (int y = 0; y < f.height; ++y) {
    for (int x = 0; x < f.width; ++x) {
      double d = f.data[0][y * f.linesize[0] + x] - expected[static_cast<size_t>(y) * f.width + x];
      sum += d * d;
    }
  }
  double mse = sum / (f.width * f.height);
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

struct Size {
  int width, height;
};
class H264SizeTest : public H264WriterTest, public ::testing::WithParamInterface<Size> {};

// Irregular capture times at 600 ticks/s, as a real-time recorder makes them.
const std::vector<int64_t> kTicks = {0, 10, 21, 30, 47, 50, 61, 70, 80, 95, 100, 111,
                                     120, 130, 152, 160, 170, 181, 190, 200, 210, 222};

TEST_P(H264SizeTest, WritesAStreamableMp4WithExactSizeTimesAndKeyFrames) {
  const Size size = GetParam();
  const std::string path = dir_ / "out.mp4";
  Outcome o = writeMovie(path, FileType::kMpeg4, h264Settings(size.width, size.height), kTicks);
  ASSERT_EQ(o.status, WriterStatus::kCompleted) << o.error;

  std::vector<std::string> boxes = topLevelBoxes(path);
  auto moov = std::find(boxes.begin(), boxes.end(), "moov");
  auto mdat = std::find(boxes.begin(), boxes.end(), "mdat");
  ASSERT_NE(moov, boxes.end());
  ASSERT_NE(mdat, boxes.end());
  EXPECT_LT(moov, mdat) << "index before the media";

  std::string error;
  MovieInfo info = probeMovie(path, &error);
  ASSERT_EQ(error, "");
  EXPECT_EQ(info.majorBrand, "isom");
  EXPECT_EQ(info.codec, AV_CODEC_ID_H264);
  EXPECT_EQ(info.hasBFrames, 0);
  EXPECT_EQ(info.width, size.width);
  EXPECT_EQ(info.height, size.height);
  EXPECT_EQ(info.primaries, AVCOL_PRI_BT709);
  EXPECT_EQ(info.transfer, AVCOL_TRC_BT709);
  EXPECT_EQ(info.matrix, AVCOL_SPC_BT709);
  EXPECT_EQ(info.timeBase.num, 1);
  EXPECT_EQ(info.timeBase.den, 600);
  EXPECT_EQ(info.packetPts, kTicks);
  EXPECT_EQ(info.packetDts, kTicks) << "no reordering";
  EXPECT_EQ(info.streamDuration, 222 + 12) << "the last frame lasts as long as the one before";

  int sinceKey = 0;
  ASSERT_FALSE(info.packetKey.empty());
  EXPECT_TRUE(info.packetKey[0]);
  for (bool key : info.packetKey) {
    sinceKey = key ? 0 : sinceKey + 1;
    EXPECT_LT(sinceKey, 8) << "a key frame at least every 8 frames";
  }

  ASSERT_EQ(info.frames.size(), kTicks.size());
  for (size_t n = 0; n < info.frames.size(); ++n) {
    const AVFrame& f = *info.frames[n];
    ASSERT_EQ(f.width, size.width) << "decoded size, not rounded to even";
    ASSERT_EQ(f.height, size.height);
    // A 1 × 1 movie gets the floor bit rate and shows it.
    const double floor = size.width * size.height >= 100 ? 30.0 : 20.0;
    EXPECT_GE(lumaPsnr(f, expectedLuma(size.width, size.height, static_cast<int>(n))), floor)
        << "frame " << n;
  }
}

INSTANTIATE_TEST_SUITE_P(EvenAndOdd, H264SizeTest,
                         ::testing::Values(Size{160, 96}, Size{151, 101}, Size{1, 1}));

TEST_F(H264WriterTest, AMovFileTypeMakesAQuickTimeMovieWhateverThePath) {
  const std::string path = dir_ / "out.mp4";
  auto s = h264Settings(32, 32);
  s.expectsMediaDataInRealTime = false;
  Outcome o = writeMovie(path, FileType::kQuickTimeMovie, s, {0, 20, 40});
  ASSERT_EQ(o.status, WriterStatus::kCompleted) << o.error;
  std::string error;
  MovieInfo info = probeMovie(path, &error);
  EXPECT_EQ(info.majorBrand, "qt  ");
  EXPECT_EQ(info.packetPts, (std::vector<int64_t>{0, 20, 40}));
  EXPECT_EQ(info.streamDuration, 60);
}

TEST_F(H264WriterTest, ALoneFrameLastsOneSixtiethOfASecond) {
  const std::string path = dir_ / "one.mp4";
  ASSERT_EQ(writeMovie(path, FileType::kMpeg4, h264Settings(16, 16), {0}).status,
            WriterStatus::kCompleted);
  std::string error;
  EXPECT_EQ(probeMovie(path, &error).streamDuration, 10);
}

TEST_F(H264WriterTest, FailuresCarryTheSystemsReason) {
  std::string error;
  EXPECT_EQ(VideoWriter::create((dir_ / "missing/out.mp4").string(), FileType::kMpeg4, &error),
            nullptr);
  EXPECT_EQ(error, "No such file or directory");

  // A full disk: the failure shows on an append or at the finish, never as success.
  std::vector<int64_t> ticks;
  for (int n = 0; n < 30; ++n) ticks.push_back(n * 10);
  Outcome o = writeMovie("/dev/full", FileType::kMpeg4, h264Settings(320, 240), ticks);
  EXPECT_EQ(o.status, WriterStatus::kFailed);
  EXPECT_EQ(o.error, "No space left on device");
}

TEST_F(H264WriterTest, RefusesSizesItCannotEncodeAndTimesThatGoBack) {
  std::string error;
  auto writer = VideoWriter::create(dir_ / "a.mp4", FileType::kMpeg4, &error);
  ASSERT_NE(writer, nullptr);
  EXPECT_FALSE(writer->addInput(h264Settings(media::kMaxVideoDimension + 1, 16)));
  EXPECT_NE(writer->error(), "");

  writer = VideoWriter::create(dir_ / "b.mp4", FileType::kMpeg4, &error);
  ASSERT_TRUE(writer->addInput(h264Settings(16, 16)));
  ASSERT_TRUE(writer->startWriting());
  auto pool = writer->pixelBufferPool();
  EXPECT_TRUE(writer->append(pool->createPixelBuffer(), MediaTime{10, 600}));
  EXPECT_FALSE(writer->append(pool->createPixelBuffer(), MediaTime{10, 600}));
  EXPECT_EQ(writer->status(), WriterStatus::kFailed);
  EXPECT_NE(writer->error(), "");
  EXPECT_FALSE(writer->append(pool->createPixelBuffer(), MediaTime{20, 600}));
}

TEST(PixelBufferPool, RecyclesReleasedBuffersWithAlignedRows) {
  media::PixelBufferPool pool(151, 3);
  EXPECT_EQ(pool.bytesPerRow() % 64, 0);
  EXPECT_GE(pool.bytesPerRow(), 151 * 4);
  media::PixelBufferHandle a = pool.createPixelBuffer();
  media::PixelBufferHandle b = pool.createPixelBuffer();
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a->baseAddress(), b->baseAddress());
  EXPECT_EQ(reinterpret_cast<uintptr_t>(a->baseAddress()) % 64, 0u);
  uint8_t* first = a->baseAddress();
  a.reset();
  media::PixelBufferHandle c = pool.createPixelBuffer();
  EXPECT_EQ(c->baseAddress(), first) << "a released buffer is handed out again";
}

TEST(PixelBufferPool, HandlesMayOutliveThePool) {
  media::PixelBufferHandle kept;
  {
    media::PixelBufferPool pool(8, 8);
    kept = pool.createPixelBuffer();
  }
  ASSERT_NE(kept, nullptr);
  std::memset(kept->baseAddress(), 0, kept->bytesPerRow() * kept->height());
  kept.reset();  // no crash, no leak under sanitizers
}

}  // namespace
