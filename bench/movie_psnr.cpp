// PSNR per channel R, G, B, A of a 4:4:4 movie against the raw RGBA clip it
// was made from, converting back with exact floating-point equations (so the
// figure measures the encoder, not a rounding shortcut in the read-back).
//   movie_psnr <clip.rgba> <width> <height> <movie> <bt709|bt601>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/media/reader/movie_reader.h"

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: movie_psnr <clip.rgba> <width> <height> <movie> <bt709|bt601>\n");
    return 2;
  }
  const int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
  const bool bt709 = std::strcmp(argv[5], "bt709") == 0;
  const double kr = bt709 ? 0.2126 : 0.299, kb = bt709 ? 0.0722 : 0.114, kg = 1 - kr - kb;
  std::FILE* clip = std::fopen(argv[1], "rb");
  std::string error;
  std::unique_ptr<media::MovieReader> movie = media::MovieReader::open(argv[4], &error);
  if (!clip || !movie) {
    std::fprintf(stderr, "cannot open inputs\n");
    return 1;
  }
  std::vector<uint8_t> src(static_cast<size_t>(width) * height * 4);
  double sum[4] = {};
  int maxDiff[4] = {};
  long frames = 0;
  while (const AVFrame* f = movie->next()) {
    if (std::fread(src.data(), 1, src.size(), clip) != src.size()) break;
    const int depth = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f->format))->comp[0].depth;
    const double s = 1 << (depth - 8), amax = (1 << depth) - 1;
    for (int y = 0; y < height; ++y) {
      const uint16_t* p[4];
      for (int c = 0; c < 4; ++c)
        p[c] = reinterpret_cast<const uint16_t*>(f->data[c] + y * f->linesize[c]);
      for (int x = 0; x < width; ++x) {
        double Y = (p[0][x] - 16 * s) / (219 * s), cb = (p[1][x] - 128 * s) / (224 * s),
               cr = (p[2][x] - 128 * s) / (224 * s);
        double rgba[4] = {Y + 2 * (1 - kr) * cr,
                          Y - 2 * kb * (1 - kb) / kg * cb - 2 * kr * (1 - kr) / kg * cr,
                          Y + 2 * (1 - kb) * cb, p[3][x] / amax};
        for (int c = 0; c < 4; ++c) {
          int v = static_cast<int>(std::clamp(std::lround(rgba[c] * 255), 0L, 255L));
          int d = std::abs(v - src[(static_cast<size_t>(y) * width + x) * 4 + c]);
          sum[c] += d * d;
          maxDiff[c] = std::max(maxDiff[c], d);
        }
      }
    }
    ++frames;
  }
  const double n = static_cast<double>(frames) * width * height;
  for (int c = 0; c < 4; ++c) {
    double mse = sum[c] / n;
    std::printf("%s%.2f(max %d)", c ? " " : "", mse == 0 ? 99.0 : 10 * std::log10(65025 / mse),
                maxDiff[c]);
  }
  std::printf("\n");
  return frames > 0 ? 0 : 1;
}
