// Two recordings of one page, frame against frame: whether they have the
// same frames at the same times, and how far their pictures lie apart (PSNR
// of the luma and chroma planes, 99 dB for identical). Streams both files, so
// minutes of video at phone size need no more than a few frames of memory.
//   movie_compare <a.mp4> <b.mp4>
// prints: frames A B, times equal|differ, PSNR average X dB, lowest Y dB (frame i),
// first different frame j (-1 for none)

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/media/reader/movie_reader.h"

namespace {

// A movie's frames, and the times of its video packets.
struct Reader {
  std::unique_ptr<media::MovieReader> movie;
  std::vector<int64_t> times;

  bool open(const char* path) {
    std::string error;
    movie = media::MovieReader::open(path, &error);
    if (!movie) return false;
    const int video = movie->stream().index;
    movie->watchPackets([this, video](const AVPacket& p) {
      if (p.stream_index == video) times.push_back(p.pts);
    });
    return true;
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
  long long compared = 0, frame = 0, lowestAt = -1, firstDifferent = -1;
  double sumPsnr = 0, lowest = 99;
  for (;; ++frame) {
    const AVFrame* fa = a.movie->next();
    const AVFrame* fb = b.movie->next();
    if (!fa || !fb) {
      while (fa && (fa = a.movie->next())) {
      }
      while (fb && (fb = b.movie->next())) {
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
