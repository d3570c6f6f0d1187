#include "platform/media/gif_maker.h"

#include <libimagequant.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "platform/media/gif_file.h"
#include "platform/media/movie_reader.h"

namespace media {

namespace {

struct AttrFree {
  void operator()(liq_attr* a) const { liq_attr_destroy(a); }
};
struct HistogramFree {
  void operator()(liq_histogram* h) const { liq_histogram_destroy(h); }
};
struct ImageFree {
  void operator()(liq_image* i) const { liq_image_destroy(i); }
};
struct ResultFree {
  void operator()(liq_result* r) const { liq_result_destroy(r); }
};
using AttrPtr = std::unique_ptr<liq_attr, AttrFree>;
using HistogramPtr = std::unique_ptr<liq_histogram, HistogramFree>;
using ImagePtr = std::unique_ptr<liq_image, ImageFree>;
using ResultPtr = std::unique_ptr<liq_result, ResultFree>;

// The quantiser's own effort: 1 (slowest, best) to 10. At 4 the palette of
// a 15 s video takes a second and looks as good as at 1.
constexpr int kSpeed = 4;

// A decoded BGRA frame as the quantiser reads it, a row of RGBA at a time.
liq_image* rgbaImage(liq_attr* attr, const AVFrame& bgra) {
  return liq_image_create_custom(
      attr,
      [](liq_color out[], int row, int width, void* frame) {
        const AVFrame& f = *static_cast<const AVFrame*>(frame);
        const uint8_t* p = f.data[0] + static_cast<ptrdiff_t>(row) * f.linesize[0];
        for (int x = 0; x < width; ++x, p += 4) out[x] = {p[2], p[1], p[0], 255};
      },
      const_cast<AVFrame*>(&bgra), bgra.width, bgra.height, 0);
}

bool liqFailed(liq_error code, const char* call, std::string* error) {
  if (code == LIQ_OK) return false;
  *error = std::string(call) + " falhou (" + std::to_string(static_cast<int>(code)) + ")";
  return true;
}

// The first pass: every frame's colours gathered, and the palette chosen.
ResultPtr choosePalette(const std::string& movie, liq_attr* attr,
                        const std::function<void()>& progress, std::string* error) {
  std::unique_ptr<MovieReader> reader = MovieReader::open(movie, error);
  if (!reader) return nullptr;
  HistogramPtr histogram(liq_histogram_create(attr));
  if (!histogram) {
    *error = "liq_histogram_create falhou";
    return nullptr;
  }
  while (const AVFrame* frame = reader->nextBgra()) {
    if (progress) progress();
    ImagePtr image(rgbaImage(attr, *frame));
    if (!image) {
      *error = "liq_image_create_custom falhou";
      return nullptr;
    }
    if (liqFailed(liq_histogram_add_image(histogram.get(), attr, image.get()),
                  "liq_histogram_add_image", error))
      return nullptr;
  }
  if (!reader->error().empty()) {
    *error = reader->error();
    return nullptr;
  }
  liq_result* result = nullptr;
  if (liqFailed(liq_histogram_quantize(histogram.get(), attr, &result), "liq_histogram_quantize",
                error))
    return nullptr;
  ResultPtr palette(result);
  liq_set_dithering_level(palette.get(), 1.0f);
  return palette;
}

// A frame waiting for the next one's time, which gives its delay.
struct PendingFrame {
  std::vector<uint8_t> indices;
  GifFile::Rect rect;
  int64_t shownAt = 0;  // hundredths of a second
  bool ready = false;
};

}  // namespace

bool writeGif(const std::string& movie, const std::string& gif,
              const std::function<void()>& progress, std::string* error) {
  AttrPtr attr(liq_attr_create());
  if (!attr) {
    *error = "liq_attr_create falhou";
    return false;
  }
  liq_set_max_colors(attr.get(), 256);
  liq_set_speed(attr.get(), kSpeed);
  ResultPtr palette = choosePalette(movie, attr.get(), progress, error);
  if (!palette) return false;
  const liq_palette* colours = liq_get_palette(palette.get());
  std::array<uint32_t, 256> table{};
  for (unsigned i = 0; i < colours->count; ++i) {
    const liq_color c = colours->entries[i];
    table[i] = static_cast<uint32_t>(c.r) << 16 | static_cast<uint32_t>(c.g) << 8 | c.b;
  }

  // The second pass: each frame mapped over what the viewer sees by then.
  std::unique_ptr<MovieReader> reader = MovieReader::open(movie, error);
  if (!reader) return false;
  const int width = reader->width(), height = reader->height();
  GifFile file;
  if (!file.open(gif, width, height, table, -1)) {
    *error = file.error();
    return false;
  }
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  std::vector<uint8_t> shown(pixels), mapped(pixels);  // what the GIF shows, and the next frame
  PendingFrame pending;
  auto writePending = [&](int64_t until) {
    if (!pending.ready) return true;
    pending.ready = false;
    const int delay = static_cast<int>(std::clamp<int64_t>(until - pending.shownAt, 1, 65535));
    if (file.addFrame(pending.indices, pending.rect, delay)) return true;
    *error = file.error();
    return false;
  };
  int64_t lastShownAt = -1, interval = 0;
  bool first = true;
  while (const AVFrame* frame = reader->nextBgra()) {
    if (progress) progress();
    ImagePtr image(rgbaImage(attr.get(), *frame));
    if (!image) {
      *error = "liq_image_create_custom falhou";
      return false;
    }
    if (liqFailed(liq_write_remapped_image(palette.get(), image.get(), mapped.data(), pixels),
                  "liq_write_remapped_image", error))
      return false;
    // What changed: the rectangle of every pixel that maps to another colour
    // than the GIF shows there.
    int left = width, right = -1, top = height, bottom = -1;
    for (int y = 0; y < height; ++y) {
      const uint8_t* row = mapped.data() + static_cast<size_t>(y) * width;
      const uint8_t* seen = shown.data() + static_cast<size_t>(y) * width;
      if (!first && std::memcmp(row, seen, static_cast<size_t>(width)) == 0) continue;
      int x0 = 0, x1 = width - 1;
      if (!first) {
        while (row[x0] == seen[x0]) ++x0;
        while (row[x1] == seen[x1]) --x1;
      }
      left = std::min(left, x0);
      right = std::max(right, x1);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
    // A frame that changes nothing is its first pixel again: the GIF keeps
    // a frame for every frame of the movie.
    if (right < 0) left = right = top = bottom = 0;
    // Hundredths of a second, each frame at least one on from the one
    // before.
    int64_t shownAt = std::llround(reader->secondsOf(*frame) * 100);
    shownAt = std::max(shownAt, lastShownAt + 1);
    if (lastShownAt >= 0) interval = shownAt - lastShownAt;
    lastShownAt = shownAt;
    if (!writePending(shownAt)) return false;
    pending.rect = {left, top, right - left + 1, bottom - top + 1};
    pending.indices.resize(static_cast<size_t>(pending.rect.width) * pending.rect.height);
    for (int y = 0; y < pending.rect.height; ++y)
      std::memcpy(pending.indices.data() + static_cast<size_t>(y) * pending.rect.width,
                  mapped.data() + static_cast<size_t>(top + y) * width + left,
                  static_cast<size_t>(pending.rect.width));
    pending.shownAt = shownAt;
    pending.ready = true;
    shown.swap(mapped);
    first = false;
  }
  if (!reader->error().empty()) {
    *error = reader->error();
    return false;
  }
  // The last frame lasts as long as the interval before it.
  if (!writePending(lastShownAt + std::max<int64_t>(interval, 1))) return false;
  if (!file.finish()) {
    *error = file.error();
    return false;
  }
  return true;
}

}  // namespace media
