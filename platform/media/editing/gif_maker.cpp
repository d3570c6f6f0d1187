#include "platform/media/editing/gif_maker.h"

#include <libimagequant.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "platform/media/editing/gif_file.h"
#include "platform/media/reader/movie_reader.h"

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

// The palette as the GIF's colour table, 0xRRGGBB.
std::array<uint32_t, 256> colourTable(liq_result* palette) {
  const liq_palette* colours = liq_get_palette(palette);
  std::array<uint32_t, 256> table{};
  for (unsigned i = 0; i < colours->count; ++i) {
    const liq_color c = colours->entries[i];
    table[i] = static_cast<uint32_t>(c.r) << 16 | static_cast<uint32_t>(c.g) << 8 | c.b;
  }
  return table;
}

// A frame waiting for the next one's time, which gives its delay.
struct PendingFrame {
  std::vector<uint8_t> indices;
  GifFile::Rect rect;
  int64_t shownAt = 0;  // hundredths of a second
  bool ready = false;
};

// The second pass: each frame mapped over what the viewer sees by then, and
// written once the next frame's time gives its delay.
class FrameWriter {
 public:
  FrameWriter(GifFile* file, liq_attr* attr, liq_result* palette, int width, int height,
              std::string* error)
      : file_(*file),
        attr_(attr),
        palette_(palette),
        width_(width),
        height_(height),
        error_(error),
        shown_(pixels()),
        mapped_(pixels()) {}

  bool add(const AVFrame& frame, double seconds);
  // The last frame lasts as long as the interval before it.
  bool finish() { return writePending(lastShownAt_ + std::max<int64_t>(interval_, 1)); }

 private:
  size_t pixels() const { return static_cast<size_t>(width_) * static_cast<size_t>(height_); }
  bool map(const AVFrame& frame);
  GifFile::Rect changed() const;
  int64_t showAt(double seconds);
  bool writePending(int64_t until);
  void hold(const GifFile::Rect& rect, int64_t shownAt);

  GifFile& file_;
  liq_attr* attr_;
  liq_result* palette_;
  const int width_, height_;
  std::string* error_;
  std::vector<uint8_t> shown_, mapped_;  // what the GIF shows, and the next frame
  PendingFrame pending_;
  int64_t lastShownAt_ = -1, interval_ = 0;
  bool first_ = true;
};

bool FrameWriter::add(const AVFrame& frame, double seconds) {
  if (!map(frame)) return false;
  const GifFile::Rect rect = changed();
  const int64_t shownAt = showAt(seconds);
  if (!writePending(shownAt)) return false;
  hold(rect, shownAt);
  shown_.swap(mapped_);
  first_ = false;
  return true;
}

bool FrameWriter::map(const AVFrame& frame) {
  ImagePtr image(rgbaImage(attr_, frame));
  if (!image) {
    *error_ = "liq_image_create_custom falhou";
    return false;
  }
  return !liqFailed(liq_write_remapped_image(palette_, image.get(), mapped_.data(), pixels()),
                    "liq_write_remapped_image", error_);
}

// What changed: the rectangle of every pixel that maps to another colour
// than the GIF shows there.
GifFile::Rect FrameWriter::changed() const {
  int left = width_, right = -1, top = height_, bottom = -1;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* row = mapped_.data() + static_cast<size_t>(y) * width_;
    const uint8_t* seen = shown_.data() + static_cast<size_t>(y) * width_;
    if (!first_ && std::memcmp(row, seen, static_cast<size_t>(width_)) == 0) continue;
    int x0 = 0, x1 = width_ - 1;
    if (!first_) {
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
  return {left, top, right - left + 1, bottom - top + 1};
}

// Hundredths of a second, each frame at least one on from the one before.
int64_t FrameWriter::showAt(double seconds) {
  int64_t shownAt = std::llround(seconds * 100);
  shownAt = std::max(shownAt, lastShownAt_ + 1);
  if (lastShownAt_ >= 0) interval_ = shownAt - lastShownAt_;
  lastShownAt_ = shownAt;
  return shownAt;
}

bool FrameWriter::writePending(int64_t until) {
  if (!pending_.ready) return true;
  pending_.ready = false;
  const int delay = static_cast<int>(std::clamp<int64_t>(until - pending_.shownAt, 1, 65535));
  if (file_.addFrame(pending_.indices, pending_.rect, delay)) return true;
  *error_ = file_.error();
  return false;
}

// The changed rectangle's indices, kept until the next frame.
void FrameWriter::hold(const GifFile::Rect& rect, int64_t shownAt) {
  pending_.rect = rect;
  pending_.indices.resize(static_cast<size_t>(rect.width) * rect.height);
  for (int y = 0; y < rect.height; ++y)
    std::memcpy(pending_.indices.data() + static_cast<size_t>(y) * rect.width,
                mapped_.data() + static_cast<size_t>(rect.top + y) * width_ + rect.left,
                static_cast<size_t>(rect.width));
  pending_.shownAt = shownAt;
  pending_.ready = true;
}

// The quantiser's settings: up to 256 colours, at kSpeed.
AttrPtr quantiser(std::string* error) {
  AttrPtr attr(liq_attr_create());
  if (!attr) {
    *error = "liq_attr_create falhou";
    return nullptr;
  }
  liq_set_max_colors(attr.get(), 256);
  liq_set_speed(attr.get(), kSpeed);
  return attr;
}

}  // namespace

bool writeGif(const std::string& movie, const std::string& gif,
              const std::function<void()>& progress, std::string* error) {
  AttrPtr attr = quantiser(error);
  if (!attr) return false;
  ResultPtr palette = choosePalette(movie, attr.get(), progress, error);
  if (!palette) return false;
  std::unique_ptr<MovieReader> reader = MovieReader::open(movie, error);
  if (!reader) return false;
  GifFile file;
  if (!file.open(gif, reader->width(), reader->height(), colourTable(palette.get()), -1)) {
    *error = file.error();
    return false;
  }
  FrameWriter frames(&file, attr.get(), palette.get(), reader->width(), reader->height(), error);
  while (const AVFrame* frame = reader->nextBgra()) {
    if (progress) progress();
    if (!frames.add(*frame, reader->secondsOf(*frame))) return false;
  }
  if (!reader->error().empty()) {
    *error = reader->error();
    return false;
  }
  if (!frames.finish()) return false;
  if (!file.finish()) {
    *error = file.error();
    return false;
  }
  return true;
}

}  // namespace media
