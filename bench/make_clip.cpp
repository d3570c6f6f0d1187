// Writes a raw RGBA clip for the encoder benchmark.
//   make_clip <width> <height> <frames> <out.rgba> [grain | overlay]
// With a grain (default 3): moving colour gradients, per-pixel noise of
// ±grain levels (like camera grain, so the encoder has real work) and a
// horizontal alpha ramp. With "overlay": what a title or lower third looks
// like, a flat panel with soft-edged alpha over nothing, bars of text-like
// strokes in it, sliding in from the left.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 5 && argc != 6) {
    std::fprintf(stderr, "usage: make_clip <width> <height> <frames> <out.rgba> [grain]\n");
    return 2;
  }
  const int width = std::atoi(argv[1]);
  const int height = std::atoi(argv[2]);
  const int frames = std::atoi(argv[3]);
  const bool overlay = argc == 6 && std::string(argv[5]) == "overlay";
  const int grain = argc == 6 && !overlay ? std::atoi(argv[5]) : 3;
  std::FILE* out = std::fopen(argv[4], "wb");
  if (!out || width < 1 || height < 1 || frames < 1) {
    std::perror(argv[4]);
    return 1;
  }
  std::vector<uint8_t> frame(static_cast<size_t>(width) * height * 4);
  uint32_t seed = 12345;
  auto noise = [&seed, grain] {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    return static_cast<int>(seed % static_cast<uint32_t>(2 * grain + 1)) - grain;
  };
  auto clamp = [](int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
  for (int f = 0; f < frames && overlay; ++f) {
    // A panel a third of the picture high in the lower part, its edges
    // fading over 12 pixels, with rows of dark strokes like words.
    const int entry = std::max(frames / 4, 1);
    const int left = width / 10 - (f < entry ? (entry - f) * (width / 2) / entry : 0);
    const int top = height * 6 / 10, bottom = height * 9 / 10, right = width * 9 / 10;
    uint8_t* p = frame.data();
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x, p += 4) {
        const int edge = std::min(std::min(x - left, right - x), std::min(y - top, bottom - y));
        const int alpha = edge <= 0 ? 0 : edge >= 12 ? 230 : edge * 230 / 12;
        const int row = (y - top - 24) % 48, stroke = (x - left - 30) % 23;
        const bool ink = row >= 0 && row < 22 && stroke >= 0 &&
                         stroke < 3 + (x / 23 * 7 + y / 48 * 3) % 9 && x > left + 30 &&
                         x < right - 30 && y < bottom - 24;
        p[0] = ink ? 20 : 236;
        p[1] = ink ? 24 : 240;
        p[2] = ink ? 40 : 248;
        p[3] = static_cast<uint8_t>(ink && alpha ? 255 : alpha);
      }
    }
    if (std::fwrite(frame.data(), 1, frame.size(), out) != frame.size()) {
      std::perror(argv[4]);
      return 1;
    }
  }
  for (int f = 0; f < frames && !overlay; ++f) {
    uint8_t* p = frame.data();
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        int r = (x + 4 * f) * 255 / (width + 4 * frames);
        int g = (y * 255) / height;
        int b = ((x + y + 8 * f) % 512) / 2;
        p[0] = clamp(r + noise());
        p[1] = clamp(g + noise());
        p[2] = clamp(b + noise());
        p[3] = static_cast<uint8_t>(x * 255 / (width > 1 ? width - 1 : 1));
        p += 4;
      }
    }
    if (std::fwrite(frame.data(), 1, frame.size(), out) != frame.size()) {
      std::perror(argv[4]);
      return 1;
    }
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
