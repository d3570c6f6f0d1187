#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace media {

// Ends the alpha code of every slice of an encoded ProRes 4444 frame with a
// run code, as Apple's decoders require.
//
// A slice's alpha is coded as values and runs of repeats; after its last
// value comes either a run that reaches the end of the slice or the one-bit
// "no run" code. FFmpeg 5's encoders leave that bit out when the last value
// differs from the one before it; FFmpeg's decoder does not mind, but the
// hardware decoder of Apple silicon rejects the slice and the frame plays
// opaque. The missing bit goes into the zero padding of the alpha code's
// last byte where there is room (seven times in eight), otherwise the slice
// grows by one byte and the slice table, picture size and frame size follow.
//
// Returns the number of slices completed, or −1 with the reason in `error`
// when the frame is not a progressive ProRes frame it can read, or a slice
// would outgrow the format's 16-bit slice size. Frames without alpha are
// left as they are.
int64_t completeAlphaRunCodes(std::vector<uint8_t>& frame, std::string* error);

}  // namespace media
