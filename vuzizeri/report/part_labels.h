#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// --trecho K/N: one recording made in parts, each on its own (on one machine
// or many), put together by vuzizeri-juntar. Each part's file says what it
// is, so that the joiner takes only a whole set of parts of one recording.
namespace vuz {

// The frames [first, end) of the K-th (from 1) of N equal runs of a video of
// `frames` frames.
struct FrameRange {
  int64_t first = 0;
  int64_t end = 0;
};
FrameRange partFrames(int64_t frames, int64_t index, int64_t count);

// What a part's file carries in its metadata.
struct PartLabel {
  int64_t index = 0;      // K
  int64_t count = 0;      // N
  std::string recording;  // recordingIdentity() of the run
  FrameRange frames;
  int64_t total = 0;  // frames of the whole video, as this part measured the page
};
inline constexpr char kPartTag[] = "vuzizeri_trecho";         // "K/N"
inline constexpr char kRecordingTag[] = "vuzizeri_gravacao";  // the identity
inline constexpr char kFramesTag[] = "vuzizeri_quadros";      // "first end total"

std::vector<std::pair<std::string, std::string>> partTags(const PartLabel& label);
// Nothing when the tags do not say what a part is.
std::optional<PartLabel> readPartLabel(const std::map<std::string, std::string>& tags);

// The parts given, put in order by their own K; or the first reason why they
// are not every part of one recording, once each, naming the part it is
// about.
struct PartSet {
  std::vector<size_t> order;  // indices into the parts given
  std::string problem;        // empty when they join
};
PartSet orderParts(const std::vector<std::string>& names,
                   const std::vector<std::optional<PartLabel>>& labels);

}  // namespace vuz
