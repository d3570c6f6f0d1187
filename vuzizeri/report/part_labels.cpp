#include "vuzizeri/report/part_labels.h"

#include <sstream>

#include "common/number_syntax.h"

namespace vuz {

FrameRange partFrames(int64_t frames, int64_t index, int64_t count) {
  return {frames * (index - 1) / count, frames * index / count};
}

std::vector<std::pair<std::string, std::string>> partTags(const PartLabel& label) {
  return {{kPartTag, std::to_string(label.index) + "/" + std::to_string(label.count)},
          {kRecordingTag, label.recording},
          {kFramesTag, std::to_string(label.frames.first) + " " + std::to_string(label.frames.end) +
                           " " + std::to_string(label.total)}};
}

std::optional<PartLabel> readPartLabel(const std::map<std::string, std::string>& tags) {
  auto part = tags.find(kPartTag), recording = tags.find(kRecordingTag),
       frames = tags.find(kFramesTag);
  if (part == tags.end() || recording == tags.end() || frames == tags.end() ||
      recording->second.empty())
    return std::nullopt;
  PartLabel label;
  label.recording = recording->second;
  const size_t slash = part->second.find('/');
  if (slash == std::string::npos) return std::nullopt;
  std::optional<int64_t> k = parseInt64(part->second.substr(0, slash));
  std::optional<int64_t> n = parseInt64(part->second.substr(slash + 1));
  std::istringstream words(frames->second);
  std::string first, end, total;
  words >> first >> end >> total;
  std::optional<int64_t> f = parseInt64(first), e = parseInt64(end), t = parseInt64(total);
  if (!k || !n || !f || !e || !t || *k < 1 || *k > *n || *f < 0 || *e <= *f || *e > *t)
    return std::nullopt;
  label.index = *k;
  label.count = *n;
  label.frames = {*f, *e};
  label.total = *t;
  return label;
}

PartSet orderParts(const std::vector<std::string>& names,
                   const std::vector<std::optional<PartLabel>>& labels) {
  PartSet set;
  auto refuse = [&set](std::string problem) {
    set.order.clear();
    set.problem = std::move(problem);
    return set;
  };
  if (names.empty() || labels.size() != names.size()) return refuse("nenhum trecho");
  for (size_t i = 0; i < names.size(); ++i)
    if (!labels[i])
      return refuse(names[i] + ": não é um trecho de vuzizeri --trecho (não diz qual trecho é)");
  const PartLabel& first = *labels[0];
  std::map<int64_t, size_t> byIndex;  // K → the part given
  for (size_t i = 0; i < names.size(); ++i) {
    const PartLabel& l = *labels[i];
    const std::string which = std::to_string(l.index) + "/" + std::to_string(l.count);
    if (l.recording != first.recording)
      return refuse(names[i] + ": é de outra gravação que " + names[0] +
                    " (outra página, outro tamanho ou outras opções)");
    if (l.count != first.count)
      return refuse(names[i] + ": é o trecho " + which + ", e " + names[0] + " é de " +
                    std::to_string(first.count) + " trechos");
    if (l.total != first.total)
      return refuse(names[i] + ": mediu a página em " + std::to_string(l.total) + " quadros, e " +
                    names[0] + " em " + std::to_string(first.total) +
                    " (a página mudou entre as gravações?)");
    const FrameRange expected = partFrames(l.total, l.index, l.count);
    if (l.frames.first != expected.first || l.frames.end != expected.end)
      return refuse(names[i] + ": não tem os quadros do trecho " + which);
    if (auto [at, added] = byIndex.emplace(l.index, i); !added)
      return refuse(names[i] + ": o trecho " + which + " já é " + names[at->second]);
  }
  // Every K from 1 to N, once each: the first one missing is named.
  int64_t k = 1;
  for (const auto& [index, part] : byIndex) {
    if (index != k) break;
    set.order.push_back(part);
    ++k;
  }
  if (k <= first.count)
    return refuse("falta o trecho " + std::to_string(k) + "/" + std::to_string(first.count));
  return set;
}

}  // namespace vuz
