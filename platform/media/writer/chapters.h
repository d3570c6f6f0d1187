#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/media/av_ptr.h"
#include "platform/media/writer/track.h"

namespace media {

// The movie's chapters, gathered from the caller's thread while the
// writer's thread writes, and handed to the muxer for its index.
class Chapters {
 public:
  // A chapter from `start` to `end` seconds.
  void add(const std::string& title, double start, double end);
  // Gives `format` the chapters, before its trailer is written.
  bool addTo(AVFormatContext* format, const Fail& fail) const;

 private:
  struct Chapter {
    std::string title;
    double start = 0, end = 0;
  };
  mutable std::mutex mutex_;
  std::vector<Chapter> chapters_;
};

}  // namespace media
