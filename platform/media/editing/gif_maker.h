#pragma once

#include <functional>
#include <string>

// An animated GIF made in two passes over a movie of its frames (lossless,
// so that the GIF is made of the very frames recorded): the colours of every
// frame are gathered and libimagequant picks the 256 that serve them best,
// then each frame is mapped to them with error diffusion, and only the
// rectangle where its colours differ from the frame before is written: a
// still header or band costs nothing.
namespace media {

// Writes the frames of `movie` as a GIF at `gif` that loops for ever, each
// frame lasting as it does in the movie (to the GIF's hundredths of a
// second); `progress`, if any, is called at every frame of both passes.
// False with the reason in `error`.
bool writeGif(const std::string& movie, const std::string& gif,
              const std::function<void()>& progress, std::string* error);

}  // namespace media
