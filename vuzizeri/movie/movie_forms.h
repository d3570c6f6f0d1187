#pragma once

#include <string>
#include <string_view>

#include "platform/media/writer/video_writer.h"

// The movie's forms (--formato), a row each: what the option parser takes
// and refuses, what --help says, and how the writer makes the file. A new
// form is a row here and, when it needs one, a codec of the writer's.
namespace vuz {

struct MovieForm {
  std::string_view name;  // as --formato names it
  std::string_view help;  // what it keeps and loses, for --help
  media::FileType file;   // its container; for a GIF, its first pass's
  media::VideoCodec codec;
  bool alpha;     // keeps the frames' alpha
  bool sound;     // carries --audio
  bool joinable;  // --trecho and --paralelo make it (vuzizeri-juntar joins MP4)
  int maxFps;     // the most frames a second it shows
  // A GIF: the frames are kept without loss while recording and the movie
  // is made from them once the recording is over.
  bool madeAfterwards;
};

inline constexpr MovieForm kMovieForms[] = {
    {"mp4", "H.264, sem alfa", media::FileType::kMpeg4, media::VideoCodec::kH264, false, true, true,
     60, false},
    {"mov", "ProRes 4444, alfa exato", media::FileType::kQuickTimeMovie,
     media::VideoCodec::kProRes4444, true, true, false, 60, false},
    {"webm", "VP9, alfa exato", media::FileType::kWebM, media::VideoCodec::kVp9, true, true, false,
     60, false},
    {"gif", "256 cores, tempos em centésimos de s", media::FileType::kMpeg4,
     media::VideoCodec::kLosslessRgb, false, false, false, 30, true},
};

// The form a run makes unless --formato says otherwise.
inline constexpr const MovieForm* kDefaultMovieForm = &kMovieForms[0];

// The row named `name`, or nullptr.
const MovieForm* movieFormNamed(std::string_view name);

// The names of the forms that have `what`, as a sentence lists them:
// "mov ou webm"; every form's when `what` is empty.
std::string movieFormNames(bool (*what)(const MovieForm&) = nullptr);

}  // namespace vuz
