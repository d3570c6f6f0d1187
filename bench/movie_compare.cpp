// Two recordings of one page, frame against frame: whether they have the
// same frames at the same times, and how far their pictures lie apart (PSNR
// of the luma and chroma planes, 99 dB for identical). Streams both files, so
// minutes of video at phone size need no more than a few frames of memory.
//   movie_compare <a.mp4> <b.mp4>
// prints: frames A B, times equal|differ, PSNR average X dB, lowest Y dB (frame i),
// first different frame j (-1 for none)

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cmath>
#include <cstdio>
#include <vector>

#include "platform/media/av_ptr.h"

namespace {

struct Reader {
  media::InputFormatPtr format;
  media::CodecContextPtr decoder;
  media::PacketPtr packet{av_packet_alloc()};
  std::vector<int64_t> times;
  bool ended = false;

  bool open(const char* path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path, nullptr, nullptr) < 0) return false;
    format.reset(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) return false;
    const AVCodec* codec = nullptr;
    if (av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0) != 0 || !codec)
      return false;
    decoder.reset(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(decoder.get(), raw->streams[0]->codecpar);
    return avcodec_open2(decoder.get(), codec, nullptr) == 0;
  }

  // The next picture, or false at the end.
  bool next(AVFrame* frame) {
    for (;;) {
      if (avcodec_receive_frame(decoder.get(), frame) == 0) return true;
      if (ended) return false;
      if (av_read_frame(format.get(), packet.get()) < 0) {
        ended = true;
        avcodec_send_packet(decoder.get(), nullptr);
        continue;
      }
      if (packet->stream_index == 0) {
        times.push_back(packet->pts);
        avcodec_send_packet(decoder.get(), packet.get());
      }
      av_packet_unref(packet.get());
    }
  }
};

double planeSquares(const AVFrame& a, const AVFrame& b, int plane, int width, int height,
                    long long* samples) {
  double sum = 0;
  for (int y = 0; y < height; ++y) {
    const uint8_t* p = a.data[plane] + y * a.linesize[plane];
    const uint8_t* q = b.data[plane] + y * b.linesize[plane];
    for (int x = 0; x < width; ++x) sum += (p[x] - q[x]) * (p[x] - q[x]);
  }
  *samples += static_cast<long long>(width) * height;
  return sum;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: movie_compare <a.mp4> <b.mp4>\n");
    return 2;
  }
  Reader a, b;
  if (!a.open(argv[1]) || !b.open(argv[2])) {
    std::fprintf(stderr, "movie_compare: cannot read the movies\n");
    return 1;
  }
  media::FramePtr fa(av_frame_alloc()), fb(av_frame_alloc());
  long long compared = 0, frame = 0, lowestAt = -1, firstDifferent = -1;
  double sumPsnr = 0, lowest = 99;
  for (;; ++frame) {
    const bool hasA = a.next(fa.get()), hasB = b.next(fb.get());
    if (!hasA || !hasB) {
      while (hasA && a.next(fa.get())) {
      }
      while (hasB && b.next(fb.get())) {
      }
      break;
    }
    if (fa->width != fb->width || fa->height != fb->height || fa->format != fb->format) {
      std::fprintf(stderr, "movie_compare: frame %lld differs in size or format\n", frame);
      return 1;
    }
    long long samples = 0;
    double squares = planeSquares(*fa, *fb, 0, fa->width, fa->height, &samples);
    const int cw = (fa->width + 1) / 2,
              ch = fa->format == AV_PIX_FMT_YUV420P ? (fa->height + 1) / 2 : fa->height;
    const int chromaW = fa->format == AV_PIX_FMT_YUV420P ? cw : fa->width;
    squares += planeSquares(*fa, *fb, 1, chromaW, ch, &samples);
    squares += planeSquares(*fa, *fb, 2, chromaW, ch, &samples);
    const double psnr =
        squares == 0 ? 99 : std::min(99.0, 10 * std::log10(255.0 * 255 * samples / squares));
    sumPsnr += psnr;
    if (psnr < 99 && firstDifferent < 0) firstDifferent = frame;
    ++compared;
    if (psnr < lowest) {
      lowest = psnr;
      lowestAt = frame;
    }
  }
  std::printf(
      "frames %zu %zu, times %s, PSNR average %.1f dB, lowest %.1f dB (frame %lld), first "
      "different frame %lld\n",
      a.times.size(), b.times.size(), a.times == b.times ? "equal" : "differ",
      compared ? sumPsnr / static_cast<double>(compared) : 0.0, lowest, lowestAt, firstDifferent);
  return 0;
}
