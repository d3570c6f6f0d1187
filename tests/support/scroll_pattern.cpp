#include "scroll_pattern.h"

#include <algorithm>
#include <cmath>

#include "platform/media/reader/movie_reader.h"

namespace scroll_pattern {

namespace {

// Black in the page is luma 16, white 235 (limited range).
double darkness(uint8_t y) { return std::clamp((235.0 - y) / 219.0, 0.0, 1.0); }

double rowDarkness(const LumaFrame& f, int row, double from, double to) {
  const uint8_t* p = f.luma + static_cast<ptrdiff_t>(row) * f.stride;
  int x0 = static_cast<int>(f.width * from), x1 = static_cast<int>(f.width * to);
  double sum = 0;
  for (int x = x0; x < x1; ++x) sum += darkness(p[x]);
  return sum / std::max(1, x1 - x0);
}

}  // namespace

bool forEachFrame(const std::string& path, const std::function<void(const LumaFrame&)>& visit) {
  std::string error;
  std::unique_ptr<media::MovieReader> reader = media::MovieReader::open(path, &error);
  if (!reader) return false;
  while (const AVFrame* f = reader->next())
    visit(LumaFrame{reader->secondsOf(*f), f->width, f->height, f->linesize[0], f->data[0]});
  return reader->error().empty();
}

std::optional<double> offsetOf(const LumaFrame& f, int contentTop, double scale) {
  const double barPx = 4 * scale;
  std::vector<double> estimates;
  int row = contentTop + 1;
  while (row < f.height - 1) {
    if (rowDarkness(f, row, 0.05, 0.5) < 0.5) {
      ++row;
      continue;
    }
    int start = row;
    while (row < f.height && rowDarkness(f, row, 0.05, 0.5) >= 0.5) ++row;
    int end = row;  // exclusive
    // Bars cut by the edges of the page area give no position.
    if (start - 2 <= contentTop || end + 2 >= f.height) continue;
    // Centre of mass of the darkness, antialiased edge rows included.
    double mass = 0, moment = 0;
    for (int r = start - 2; r < end + 2; ++r) {
      double d = rowDarkness(f, r, 0.05, 0.5);
      mass += d;
      moment += d * (r + 0.5);
    }
    if (mass < barPx * 0.5) continue;
    double topPx = moment / mass - barPx / 2;
    int centre = static_cast<int>((start + end) / 2);
    int number = 0;
    for (int b = 0; b < 8; ++b) {
      double from = 0.60 + 0.05 * b + 0.005, to = from + 0.02;
      if (rowDarkness(f, centre, from, to) > 0.5) number |= 1 << b;
    }
    if (number == 0) continue;
    double topCss = (topPx - contentTop) / scale;
    estimates.push_back(100.0 * number - topCss);
  }
  if (estimates.empty()) return std::nullopt;
  std::sort(estimates.begin(), estimates.end());
  return estimates[estimates.size() / 2];
}

Fit fitScroll(const std::vector<double>& seconds, const std::vector<double>& offsets,
              double speed) {
  Fit fit;
  // Only frames strictly inside the scroll: the page rests before and after.
  double first = *std::min_element(offsets.begin(), offsets.end());
  double last = *std::max_element(offsets.begin(), offsets.end());
  std::vector<size_t> moving;
  for (size_t i = 0; i < offsets.size(); ++i)
    if (offsets[i] > first + 0.5 && offsets[i] < last - 0.5) moving.push_back(i);
  fit.samples = static_cast<int>(moving.size());
  if (moving.size() < 2) return fit;
  double sumT = 0, sumY = 0;
  for (size_t i : moving) sumY += offsets[i] - speed * seconds[i], sumT += seconds[i];
  fit.intercept = sumY / moving.size();
  double meanT = sumT / moving.size(), meanY = 0;
  for (size_t i : moving) meanY += offsets[i];
  meanY /= moving.size();
  double sxy = 0, sxx = 0, squares = 0;
  for (size_t i : moving) {
    double e = offsets[i] - (speed * seconds[i] + fit.intercept);
    squares += e * e;
    fit.maxError = std::max(fit.maxError, std::abs(e));
    sxy += (seconds[i] - meanT) * (offsets[i] - meanY);
    sxx += (seconds[i] - meanT) * (seconds[i] - meanT);
  }
  fit.rms = std::sqrt(squares / moving.size());
  fit.measuredSpeed = sxx > 0 ? sxy / sxx : 0;
  return fit;
}

}  // namespace scroll_pattern
