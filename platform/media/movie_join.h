#pragma once

#include <string>
#include <vector>

namespace media {

// Puts movies of one video track each, made by the same encoder settings and
// each a run of the same video's frames, into one MP4 without re-encoding:
// their packets in order, at their own times, under one index at the front
// (faststart). The parts must follow one another: the first starts at time
// 0, and each next one starts where the one before ends (its last frame's
// time plus that frame's duration). False, with the reason in `error`, when
// a part cannot be read, is not like the first (codec, size, the encoder's
// parameter sets), does not follow, or the file cannot be written.
// `lastFrame` is set to the last frame's time in seconds.
bool joinMovies(const std::vector<std::string>& parts, const std::string& output,
                double* lastFrame, std::string* error);

}  // namespace media
