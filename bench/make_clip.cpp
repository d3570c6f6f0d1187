// Writes a raw RGBA clip for the encoder benchmark: moving colour gradients,
// a little per-pixel noise (like camera grain, so the encoder has real work)
// and a horizontal alpha ramp.
//   make_clip <width> <height> <frames> <out.rgba> [grain]
// grain: noise amplitude in levels, ±grain uniform (default 3).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 5 && argc != 6) {
    std::fprintf(stderr, "usage: make_clip <width> <height> <frames> <out.rgba> [grain]\n");
    return 2;
  }
  const int width = std::atoi(argv[1]);
  const int height = std::atoi(argv[2]);
  const int frames = std::atoi(argv[3]);
  const int grain = argc == 6 ? std::atoi(argv[5]) : 3;
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
  for (int f = 0; f < frames; ++f) {
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
