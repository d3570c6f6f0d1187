#pragma once

#include <memory>

#include "vuzizeri/recording_writer.h"

namespace vuz {

// The recorder's movie: H.264 in an MP4 file, tuned for a real-time source.
// nullptr when the file cannot be created or the encoder refuses the size.
std::unique_ptr<RecordingWriter> openMp4Writer(const H264Request& request);

}  // namespace vuz
