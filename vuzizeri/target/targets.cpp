#include "vuzizeri/target/targets.h"

#include <cmath>

#include "common/data_table.h"
#include "common/input_file.h"
#include "common/number_syntax.h"

namespace vuz {
namespace {

// "15-30": two numbers, the first above 0 and not above the second.
std::optional<std::pair<double, double>> range(std::string_view text) {
  const size_t dash = text.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  const std::optional<double> low = parseScale(text.substr(0, dash));
  const std::optional<double> high = parseScale(text.substr(dash + 1));
  if (!low || !high || !(*low > 0) || *low > *high) return std::nullopt;
  return std::pair{*low, *high};
}

std::optional<bool> yesNo(std::string_view text) {
  if (text == "sim") return true;
  if (text == "nao") return false;
  return std::nullopt;
}

}  // namespace

std::optional<std::vector<Target>> parseTargets(std::string_view text) {
  std::vector<Target> targets;
  for (const std::vector<std::string_view>& f : tableRows(text)) {
    if (f.size() < 13) return std::nullopt;
    Target t;
    t.name = std::string(f[0]);
    const std::optional<int64_t> width = parseInt64(f[1]), height = parseInt64(f[2]),
                                 fps = parseInt64(f[5]);
    const auto seconds = range(f[6]);
    const std::optional<bool> proRes = yesNo(f[10]), frame = yesNo(f[11]);
    if (t.name.empty() || !width || !height || *width < 2 || *height < 2 || !fps || *fps < 1 ||
        *fps > 60 || !seconds || !proRes || !frame || (f[3] != "cobrir" && f[3] != "conter") ||
        f[4].empty())
      return std::nullopt;
    t.width = *width;
    t.height = *height;
    t.fit = f[3] == "cobrir" ? Target::Fit::kCover : Target::Fit::kContain;
    t.device = std::string(f[4]);
    t.fps = static_cast<int>(*fps);
    t.shortestSeconds = seconds->first;
    t.longestSeconds = seconds->second;
    t.proRes = *proRes;
    t.frameAllowed = *frame;
    if (f[7] != "-") {
      const std::optional<int64_t> mb = parseInt64(f[7]);
      if (!mb || *mb < 1) return std::nullopt;
      t.maxBytes = *mb * 1'000'000;
    }
    if (f[8] != "-") {
      const auto mbits = range(f[8]);
      if (!mbits) return std::nullopt;
      t.lowBitRate = std::llround(mbits->first * 1e6);
      t.highBitRate = std::llround(mbits->second * 1e6);
    }
    if (f[9] != "-") {
      const std::optional<double> level = parseScale(f[9]);
      if (!level || !(*level >= 1 && *level <= 6.2)) return std::nullopt;
      t.maxLevel = static_cast<int>(std::lround(*level * 10));
    }
    if (f[12] != "-") {
      t.posterSeconds = parseScale(f[12]);
      if (!t.posterSeconds) return std::nullopt;
    }
    targets.push_back(std::move(t));
  }
  return targets;
}

std::optional<std::vector<Target>> readTargetTable(const std::string& folder, std::string* error) {
  const std::string path = folder + "/destinos.tsv";
  std::string why;
  std::optional<std::string> text = readInputFile(path, size_t{1} << 20, &why);
  std::optional<std::vector<Target>> targets = text ? parseTargets(*text) : std::nullopt;
  if (!targets) *error = "tabela de destinos ausente ou ilegível: " + path;
  return targets;
}

const Target* targetNamed(const std::vector<Target>& targets, std::string_view name) {
  for (const Target& t : targets)
    if (t.name == name) return &t;
  return nullptr;
}

std::string targetNames(const std::vector<Target>& targets) {
  std::string text;
  for (size_t i = 0; i < targets.size(); ++i)
    text += (i == 0 ? "" : i + 1 == targets.size() ? " ou " : ", ") + targets[i].name;
  return text;
}

}  // namespace vuz
