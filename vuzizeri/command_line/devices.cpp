#include "vuzizeri/command_line/devices.h"

#include <algorithm>

#include "common/data_table.h"
#include "common/number_syntax.h"
#include "vuzizeri/command_line/arguments.h"

namespace vuz {

std::optional<std::vector<Device>> parseDevices(std::string_view text) {
  std::vector<Device> devices;
  for (const std::vector<std::string_view>& f : tableRows(text)) {
    if (f.size() < 5) return std::nullopt;
    auto cssW = parseInt64(f[1]), cssH = parseInt64(f[2]), safeTop = parseInt64(f[4]);
    if (f[0].empty() || !cssW || !cssH || !safeTop || !parseScale(f[3])) return std::nullopt;
    devices.push_back({std::string(f[0]), *cssW, *cssH, std::string(f[3]), *safeTop, {}});
    if (f.size() < 11) continue;  // no shape columns, only the source
    std::optional<double> numbers[4];
    for (int i = 0; i < 4; ++i) numbers[i] = parseScale(f[i == 0 ? 5 : 6 + i]);
    using Cutout = ScreenShape::Cutout;
    const std::optional<Cutout> cutout = f[6] == "nenhum"    ? std::optional(Cutout::kNone)
                                         : f[6] == "entalhe" ? std::optional(Cutout::kNotch)
                                         : f[6] == "ilha"    ? std::optional(Cutout::kIsland)
                                                             : std::nullopt;
    if (!cutout || !numbers[0] || !numbers[1] || !numbers[2] || !numbers[3]) return std::nullopt;
    devices.back().shape = ScreenShape{*numbers[0], *cutout, *numbers[1], *numbers[2], *numbers[3]};
  }
  return devices;
}

std::string deviceList(const std::vector<Device>& devices) {
  size_t width = 0;
  for (const Device& d : devices) width = std::max(width, d.name.size());
  std::string text;
  for (const Device& d : devices) {
    text += d.name + std::string(width - d.name.size() + 2, ' ') + std::to_string(d.cssW) + " " +
            std::to_string(d.cssH) + " " + d.scale + " " + std::to_string(d.safeTop) + "\n";
  }
  return text;
}

}  // namespace vuz
