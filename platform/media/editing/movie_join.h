#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace media {

// A movie of one video track, read whole: its file's tags, and the times of
// its frames in the track's timescale.
struct MovieContents {
  std::map<std::string, std::string> tags;
  std::vector<int64_t> frameTimes;
  int timescale = 0;
};

// Reads `path` to its end. False, with the reason after the path in `error`,
// when it cannot be opened, is not one video track alone, or is not whole:
// a frame its index lists is missing or cut short (a file copied in part, a
// download that stopped), or the index lists other frames than the file
// holds.
bool readWholeMovie(const std::string& path, MovieContents* contents, std::string* error);

// How far checkJoinable() looks: at the indexes and packets only, or at
// every frame decoded too (a part damaged inside, its index intact).
enum class JoinCheck { kIndexes, kDecoded };

// Whether movies of one video track each, made by the same encoder settings
// and each a run of the same video's frames, can be put one after another:
// each is whole (readWholeMovie), like the first (codec, size, the encoder's
// parameter sets), and follows the one before: the first starts at time 0,
// and each next one starts where the one before ends (its last frame's time
// plus the interval before that frame). False with the reason in `error`;
// `contents` gets each part's, in order.
bool checkJoinable(const std::vector<std::string>& parts, std::vector<MovieContents>* contents,
                   std::string* error, JoinCheck check = JoinCheck::kDecoded);

// Puts parts that checkJoinable() took into one MP4 at `output`, without
// re-encoding: their packets in order, at their own times, under one index
// at the front (faststart). False, with the reason in `error`, when the file
// cannot be written (or a part changed since it was checked); `output` may
// then hold part of the movie. `seconds` is set to the movie's length: its
// last frame's time plus that frame's duration.
bool joinMovies(const std::vector<std::string>& parts, const std::string& output, double* seconds,
                std::string* error);

}  // namespace media
