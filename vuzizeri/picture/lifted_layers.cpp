#include "vuzizeri/picture/lifted_layers.h"

#include <cmath>
#include <cstring>

namespace vuz {

std::vector<LayerPlacement> layerPlacements(const web::ScriptValue& list, double rowsPerCss,
                                            int width, int height) {
  std::vector<LayerPlacement> layers;
  if (!list.isArray()) return layers;
  const std::vector<web::ScriptValue>& n = list.elements;
  for (size_t i = 0; i + 7 <= n.size(); i += 7) {
    double v[7];
    bool numbers = true;
    for (int k = 0; k < 7; ++k) {
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
    LayerPlacement layer{static_cast<int64_t>(v[0]), static_cast<int64_t>(v[1]), {}, v[6] != 0};
    if (!pixel(v[2], width, layer.rect.left) || !pixel(v[3], height, layer.rect.top) ||
        !pixel(v[4], width, layer.rect.right) || !pixel(v[5], height, layer.rect.bottom) ||
        layer.rect.left >= layer.rect.right || layer.rect.top >= layer.rect.bottom)
      continue;
    layers.push_back(layer);
  }
  return layers;
}

bool LayerPictures::apply(uint8_t* pixels, ptrdiff_t bytesPerRow,
                          const std::vector<LayerPlacement>& layers) {
  std::map<int64_t, Kept> kept;
  bool whole = true;
  for (const LayerPlacement& layer : layers) {
    const PixelRect& r = layer.rect;
    const size_t rowBytes = 4 * static_cast<size_t>(r.right - r.left);
    auto at = [&](int y) { return pixels + y * bytesPerRow + 4 * r.left; };
    auto old = kept_.find(layer.id);
    if (!layer.hidden) {
      Kept& k = kept[layer.id];
      k.version = layer.version;
      k.rect = r;
      k.pixels.resize(rowBytes * static_cast<size_t>(r.bottom - r.top));
      for (int y = r.top; y < r.bottom; ++y)
        std::memcpy(k.pixels.data() + (y - r.top) * rowBytes, at(y), rowBytes);
      continue;
    }
    if (old == kept_.end() || old->second.version != layer.version || !(old->second.rect == r)) {
      whole = false;
      continue;
    }
    for (int y = r.top; y < r.bottom; ++y)
      std::memcpy(at(y), old->second.pixels.data() + (y - r.top) * rowBytes, rowBytes);
    kept[layer.id] = std::move(old->second);
  }
  // What the page no longer lifts is let go.
  kept_ = std::move(kept);
  return whole;
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
