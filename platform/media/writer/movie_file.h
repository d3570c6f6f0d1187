#pragma once

#include <cstdint>
#include <string>

#include "platform/media/av_ptr.h"
#include "platform/media/writer/track.h"
#include "platform/media/writer/video_writer.h"

namespace media {

// What each container is, to FFmpeg and to the movie.
struct Container {
  FileType type;
  const char* muxer;
  const char* soundEncoder;  // WebM carries Vorbis or Opus, not AAC
  bool isoTimescales;        // the movie and track timescales of MP4 and QuickTime
};
const Container& containerOf(FileType type);

// The file the tracks are muxed into: its header, packets and trailer.
class MovieFile {
 public:
  explicit MovieFile(Fail fail) : fail_(std::move(fail)) {}

  // Creates (truncates) the file; false with the system's reason in `error`.
  bool create(const std::string& path, FileType type, std::string* error);
  AVFormatContext* format() { return format_.get(); }
  const Container& container() const { return containerOf(type_); }

  // The header, with the track timescale `timescale` where the container
  // has one, and the index first when `indexFirst` (always in an MP4).
  bool writeHeader(int32_t timescale, bool indexFirst);
  // With one track packets go straight to the file; with more the muxer
  // interleaves them by time.
  bool write(AVPacket* p, bool interleaved);
  // The trailer, then the file closed; a QuickTime ProRes movie gets the
  // vendor its readers expect.
  bool finish(bool proRes);

 private:
  Fail fail_;
  std::string path_;
  FileType type_ = FileType::kQuickTimeMovie;
  OutputFormatPtr format_;
};

}  // namespace media
