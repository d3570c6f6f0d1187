#include "vuzizeri/picture/lifted_layers.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vuz {

namespace {

constexpr size_t kLayerFields = 8;

bool sameKept(int64_t version, const PixelRect& rect, const LayerPlacement& layer) {
  return version == layer.version && rect == layer.rect;
}

}  // namespace

std::vector<LayerPlacement> layerPlacements(const web::ScriptValue& list, double rowsPerCss,
                                            int width, int height) {
  std::vector<LayerPlacement> layers;
  if (!list.isArray()) return layers;
  const std::vector<web::ScriptValue>& n = list.elements;
  for (size_t i = 0; i + kLayerFields <= n.size(); i += kLayerFields) {
    double v[kLayerFields];
    bool numbers = true;
    for (size_t k = 0; k < kLayerFields; ++k) {
      numbers = numbers && n[i + k].isNumber() && std::isfinite(n[i + k].number);
      v[k] = numbers ? n[i + k].number : 0;
    }
    if (!numbers) continue;
    auto pixel = [&](double css, int limit, int& out) {
      const double px = std::round(css * rowsPerCss);
      if (std::abs(px - css * rowsPerCss) > 1e-3 || px < 0 || px > limit) return false;
      out = static_cast<int>(px);
      return true;
    };
    LayerPlacement layer{
        static_cast<int64_t>(v[0]), static_cast<int64_t>(v[1]), {}, v[6] != 0, v[7] != 0};
    if (!pixel(v[2], width, layer.rect.left) || !pixel(v[3], height, layer.rect.top) ||
        !pixel(v[4], width, layer.rect.right) || !pixel(v[5], height, layer.rect.bottom) ||
        layer.rect.left >= layer.rect.right || layer.rect.top >= layer.rect.bottom)
      continue;
    layers.push_back(layer);
  }
  return layers;
}

void drawOver(uint8_t* page, const uint8_t* layer, size_t count) {
  for (size_t i = 0; i < count; ++i, page += 4, layer += 4) {
    const unsigned alpha = layer[3];
    if (alpha == 255) {
      std::memcpy(page, layer, 4);
      continue;
    }
    if (alpha == 0) continue;
    for (int c = 0; c < 4; ++c) {
      const unsigned under = page[c] * (255 - alpha) + 128;
      page[c] = static_cast<uint8_t>(std::min(255u, layer[c] + ((under + (under >> 8)) >> 8)));
    }
  }
}

bool LayerPictures::apply(uint8_t* pixels, ptrdiff_t bytesPerRow,
                          const std::vector<LayerPlacement>& layers) {
  std::map<int64_t, Kept> kept;
  bool whole = true;
  for (const LayerPlacement& layer : layers) {
    const PixelRect& r = layer.rect;
    auto old = kept_.find(layer.id);
    const bool same = old != kept_.end() && sameKept(old->second.version, old->second.rect, layer);
    if (!layer.hidden && !layer.alpha) {
      const size_t rowBytes = 4 * static_cast<size_t>(r.right - r.left);
      Kept& k = kept[layer.id];
      k.version = layer.version;
      k.rect = r;
      k.pixels.resize(rowBytes * static_cast<size_t>(r.bottom - r.top));
      for (int y = r.top; y < r.bottom; ++y)
        std::memcpy(k.pixels.data() + (y - r.top) * rowBytes, pixels + y * bytesPerRow + 4 * r.left,
                    rowBytes);
      continue;
    }
    // One with alpha is kept only from a picture of it alone.
    if (!same) {
      whole = whole && !layer.hidden;
      continue;
    }
    if (layer.hidden) drawBack(pixels, bytesPerRow, old->second);
    kept[layer.id] = std::move(old->second);
  }
  // What the page no longer lifts is let go.
  kept_ = std::move(kept);
  return whole;
}

void LayerPictures::drawBack(uint8_t* pixels, ptrdiff_t bytesPerRow, const Kept& k) const {
  const PixelRect& r = k.rect;
  const size_t width = static_cast<size_t>(r.right - r.left);
  for (int y = r.top; y < r.bottom; ++y) {
    uint8_t* to = pixels + y * bytesPerRow + 4 * r.left;
    const uint8_t* from = k.pixels.data() + static_cast<size_t>(y - r.top) * 4 * width;
    if (!k.alpha || k.opaqueRows[static_cast<size_t>(y - r.top)])
      std::memcpy(to, from, 4 * width);
    else
      drawOver(to, from, width);
  }
}

std::vector<LayerPlacement> LayerPictures::wantedAlone(
    const std::vector<LayerPlacement>& layers) const {
  std::vector<LayerPlacement> wanted;
  for (const LayerPlacement& layer : layers) {
    if (!layer.alpha || layer.hidden) continue;
    auto k = kept_.find(layer.id);
    if (k == kept_.end() || !sameKept(k->second.version, k->second.rect, layer))
      wanted.push_back(layer);
  }
  return wanted;
}

void LayerPictures::keepAlone(const std::vector<LayerPlacement>& layers, const uint8_t* pixels,
                              ptrdiff_t bytesPerRow, int width, int height) {
  for (const LayerPlacement& layer : layers) {
    const PixelRect& r = layer.rect;
    if (r.right > width || r.bottom > height) continue;
    Kept k{layer.version, r, {}, true, {}};
    const size_t rowBytes = 4 * static_cast<size_t>(r.right - r.left);
    k.pixels.resize(rowBytes * static_cast<size_t>(r.bottom - r.top));
    for (int y = r.top; y < r.bottom; ++y) {
      uint8_t* row = k.pixels.data() + static_cast<size_t>(y - r.top) * rowBytes;
      std::memcpy(row, pixels + y * bytesPerRow + 4 * r.left, rowBytes);
      bool opaque = true;
      for (size_t x = 3; x < rowBytes && opaque; x += 4) opaque = row[x] == 255;
      k.opaqueRows.push_back(opaque);
    }
    kept_[layer.id] = std::move(k);
  }
}

std::vector<int64_t> LayerPictures::kept() const {
  std::vector<int64_t> ids;
  for (const auto& [id, k] : kept_) {
    ids.push_back(id);
    ids.push_back(k.version);
  }
  return ids;
}

}  // namespace vuz
