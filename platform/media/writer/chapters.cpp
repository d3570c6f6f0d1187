#include "platform/media/writer/chapters.h"

#include <algorithm>
#include <cmath>

#include "common/shown_text.h"
#include "platform/media/av_error.h"

namespace media {

void Chapters::add(const std::string& title, double start, double end) {
  std::lock_guard lock(mutex_);
  // A name as players list it: MP4's chapter list holds 255 bytes of it, and
  // a NUL would end it.
  chapters_.push_back({plainText(title, 255), start, end});
}

// The muxers write the chapters the format holds when they write the index
// (an MP4's Nero chapter list); the format frees them.
bool Chapters::addTo(AVFormatContext* format, const Fail& fail) const {
  std::lock_guard lock(mutex_);
  for (const Chapter& c : chapters_) {
    auto* grown = static_cast<AVChapter**>(
        av_realloc_array(format->chapters, format->nb_chapters + 1, sizeof(AVChapter*)));
    if (!grown) return fail(avErrorText("av_realloc_array", AVERROR(ENOMEM)));
    format->chapters = grown;
    auto* chapter = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
    if (!chapter) return fail(avErrorText("av_mallocz", AVERROR(ENOMEM)));
    chapter->id = format->nb_chapters + 1;
    chapter->time_base = {1, 1000};
    chapter->start = std::llround(c.start * 1000);
    chapter->end = std::llround(std::max(c.start, c.end) * 1000);
    format->chapters[format->nb_chapters++] = chapter;
    av_dict_set(&chapter->metadata, "title", c.title.c_str(), 0);
  }
  return true;
}

}  // namespace media
