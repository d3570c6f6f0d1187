// Throughput of the H.264 path of VideoWriter: appends generated BGRA frames
// as fast as the writer takes them and reports frames per second, plus the
// cost of the BGRA → 4:2:0 conversion alone, swscale's and the writer's, and
// the processor time the writer takes a frame, tuned for a live source (one
// frame in, one out) or for throughput.
//   h264_writer_bench <width> <height> <frames> <out.mp4> [preset] [live|throughput]

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <semaphore>
#include <string>

#include "platform/media/av_error.h"
#include "platform/media/pixel_convert.h"
#include "platform/media/writer/video_writer.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace {

using Clock = std::chrono::steady_clock;

double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// The conversion on its own, as the writer sets it up, against swscale's.
void timeConversions(int width, int height) {
  media::PixelBufferPool pool(width, height);
  auto src = pool.createPixelBuffer();
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width * 4; ++x)
      src->baseAddress()[y * src->bytesPerRow() + x] = static_cast<uint8_t>(x ^ y);
  AVFrame* dst = av_frame_alloc();
  dst->format = AV_PIX_FMT_YUV420P;
  dst->width = width;
  dst->height = height;
  av_frame_get_buffer(dst, 64);
  SwsContext* sws = sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height,
                                   AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
  const uint8_t* planes[4] = {src->baseAddress()};
  const int strides[4] = {static_cast<int>(src->bytesPerRow())};
  auto t0 = Clock::now();
  const int reps = 50;
  for (int i = 0; i < reps; ++i)
    sws_scale(sws, planes, strides, 0, height, dst->data, dst->linesize);
  double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count() / reps;
  std::printf("BGRA to 4:2:0 (swscale): %.2f ms per frame\n", ms);
  media::Yuv420pPlanes out{dst->data[0],     dst->data[1],     dst->data[2],
                           dst->linesize[0], dst->linesize[1], dst->linesize[2]};
  t0 = Clock::now();
  for (int i = 0; i < reps; ++i)
    media::bgraToYuv420p(src->baseAddress(), src->bytesPerRow(), width, height, out);
  ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count() / reps;
  std::printf("BGRA to 4:2:0 (the writer's own): %.2f ms per frame\n", ms);
  sws_freeContext(sws);
  av_frame_free(&dst);
}

// Frame `n` of a moving pattern that no two frames share.
void drawFrame(media::PixelBuffer& b, int width, int height, int n) {
  for (int y = 0; y < height; ++y) {
    uint8_t* row = b.baseAddress() + y * b.bytesPerRow();
    for (int x = 0; x < width; ++x) {
      row[4 * x] = static_cast<uint8_t>(x + 3 * n);
      row[4 * x + 1] = static_cast<uint8_t>(y - 2 * n);
      row[4 * x + 2] = static_cast<uint8_t>((x * y) >> 6);
      row[4 * x + 3] = 255;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: h264_writer_bench <width> <height> <frames> <out.mp4> [preset]\n");
    return 2;
  }
  const int width = std::atoi(argv[1]), height = std::atoi(argv[2]), frames = std::atoi(argv[3]);
  media::silenceLibraryLog();
  timeConversions(width, height);

  std::string error;
  auto writer = media::VideoWriter::create(argv[4], media::FileType::kMpeg4, &error);
  if (!writer) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  media::VideoInputSettings s;
  s.codec = media::VideoCodec::kH264;
  s.width = width;
  s.height = height;
  s.h264.averageBitRate = static_cast<int64_t>(static_cast<double>(width) * height * 60.0 * 0.07);
  if (argc > 5) s.h264.x264Preset = argv[5];
  s.expectsMediaDataInRealTime = argc <= 6 || std::string(argv[6]) != "throughput";
  if (!writer->addInput(s) || !writer->startWriting()) {
    std::fprintf(stderr, "%s\n", writer->error().c_str());
    return 1;
  }
  // The writer's processor time: all of it but the drawing of the frames.
  double drawing = 0;
  const double cpu0 = cpuSeconds();
  auto t0 = Clock::now();
  for (int n = 0; n < frames; ++n) {
    while (!writer->isReadyForMoreMediaData()) usleep(500);
    auto b = writer->pixelBufferPool()->createPixelBuffer();
    const double drawn = cpuSeconds();
    drawFrame(*b, width, height, n);
    drawing += cpuSeconds() - drawn;
    if (!writer->append(std::move(b), media::MediaTime{n * 10, 600})) break;
  }
  writer->markAsFinished();
  std::binary_semaphore done(0);
  writer->finishWriting([&] { done.release(); });
  done.acquire();
  double secs = std::chrono::duration<double>(Clock::now() - t0).count();
  std::printf(
      "%d frames of %dx%d, preset %s, %s: %.1f fps, %.1f ms of CPU a frame (%s)\n", frames, width,
      height, s.h264.x264Preset.c_str(), s.expectsMediaDataInRealTime ? "live" : "throughput",
      frames / secs, 1000 * (cpuSeconds() - cpu0 - drawing) / frames,
      writer->status() == media::WriterStatus::kCompleted ? "completed" : writer->error().c_str());
  return 0;
}
