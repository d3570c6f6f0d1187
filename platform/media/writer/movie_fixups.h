#pragma once

#include <string>

namespace media {

// Rewrites the vendor field of every video sample description in the
// finished QuickTime movie at `path` (the muxer always writes its own). False
// with the system's reason in `error` when the file cannot be read or written
// or has no such description.
bool setSampleDescriptionVendor(const std::string& path, const char (&vendor)[5],
                                std::string* error);

}  // namespace media
