#include "platform/media/sound/loudness.h"

#include <cstdlib>
#include <functional>
#include <vector>

extern "C" {
#include <libavutil/dict.h>
}

#include "platform/media/sound/filter_chain.h"

namespace media {

namespace {

// The meter's running value, the last one of the frames it gives.
std::function<void(const AVFrame&)> lastValueInto(double* loudness) {
  return [loudness](const AVFrame& frame) {
    if (const AVDictionaryEntry* e = av_dict_get(frame.metadata, "lavfi.r128.I", nullptr, 0))
      *loudness = std::strtod(e->value, nullptr);
  };
}

}  // namespace

std::optional<double> integratedLoudness(SoundFeed& feed, const SoundSource& source,
                                         double maxSeconds, std::string* error) {
  std::unique_ptr<FilterChain> meter = FilterChain::create("ebur128=metadata=1", error);
  if (!meter) return std::nullopt;
  // The meter gives its running value every 100 ms; the last is the whole's.
  double loudness = -70;
  const auto take = lastValueInto(&loudness);
  constexpr int kBlock = kSoundRate / 10;
  std::vector<float> left(kBlock), right(kBlock);
  const int firstPass = source.passes();
  for (double read = 0; read < maxSeconds && source.passes() == firstPass; read += 0.1) {
    if (!feed.read(left.data(), right.data(), kBlock)) {
      *error = feed.error();
      return std::nullopt;
    }
    if (!meter->push(left.data(), right.data(), kBlock, take)) break;
  }
  if (!meter->error().empty() || !meter->push(nullptr, nullptr, 0, take)) {
    *error = meter->error();
    return std::nullopt;
  }
  return loudness;
}

std::optional<double> integratedLoudness(const std::vector<float>& mono, std::string* error) {
  std::unique_ptr<FilterChain> meter = FilterChain::create("ebur128=metadata=1", error);
  if (!meter) return std::nullopt;
  double loudness = -70;
  const auto take = lastValueInto(&loudness);
  const bool measured =
      meter->push(mono.data(), mono.data(), static_cast<int>(mono.size()), take) &&
      meter->push(nullptr, nullptr, 0, take);
  if (!measured) {
    *error = meter->error();
    return std::nullopt;
  }
  return loudness;
}

}  // namespace media
