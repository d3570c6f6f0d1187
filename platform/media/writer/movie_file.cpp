#include "platform/media/writer/movie_file.h"

#include "platform/media/av_error.h"
#include "platform/media/writer/codecs.h"
#include "platform/media/writer/movie_fixups.h"

namespace media {

namespace {

constexpr Container kContainers[] = {
    {FileType::kQuickTimeMovie, "mov", "aac", true},
    {FileType::kMpeg4, "mp4", "aac", true},
    {FileType::kWebM, "webm", "libvorbis", false},
};

}  // namespace

const Container& containerOf(FileType type) {
  for (const Container& c : kContainers)
    if (c.type == type) return c;
  return kContainers[0];
}

bool MovieFile::create(const std::string& path, FileType type, std::string* error) {
  path_ = path;
  type_ = type;
  // The muxer is chosen by type, never by the path's extension.
  AVFormatContext* raw = nullptr;
  int r = avformat_alloc_output_context2(&raw, nullptr, container().muxer, path.c_str());
  if (r < 0) {
    *error = avErrorText(r);
    return false;
  }
  format_.reset(raw);
  r = avio_open(&raw->pb, path.c_str(), AVIO_FLAG_WRITE);
  if (r < 0) {
    *error = avErrorText(r);
    return false;
  }
  return true;
}

bool MovieFile::writeHeader(int32_t timescale, bool indexFirst) {
  Dictionary muxerOptions;
  if (container().isoTimescales) {
    // Without this the muxer multiplies the timescale up to at least 10000.
    muxerOptions.set("video_track_timescale", std::to_string(timescale));
    // The movie header counts in whole milliseconds unless told otherwise: 3
    // frames at 1000000 fps would last 1 ms there against 3 µs in the track.
    muxerOptions.set("movie_timescale", std::to_string(timescale));
    // Keys of our own need the 'mdta' form; the classic tags know only theirs.
    const bool tagged = av_dict_count(format_->metadata) > 0;
    if (type_ == FileType::kMpeg4 || indexFirst)
      muxerOptions.set("movflags", tagged ? "+faststart+use_metadata_tags" : "+faststart");
    else if (tagged)
      muxerOptions.set("movflags", "+use_metadata_tags");
  }
  int r = avformat_write_header(format_.get(), muxerOptions.out());
  if (r < 0) return fail_(avErrorText("avformat_write_header", r));
  return true;
}

bool MovieFile::write(AVPacket* p, bool interleaved) {
  int r =
      interleaved ? av_interleaved_write_frame(format_.get(), p) : av_write_frame(format_.get(), p);
  av_packet_unref(p);
  if (r < 0)
    return fail_(avErrorText(interleaved ? "av_interleaved_write_frame" : "av_write_frame", r));
  return true;
}

bool MovieFile::finish(bool proRes) {
  int r = av_write_trailer(format_.get());
  if (r < 0) return fail_(avErrorText("av_write_trailer", r));
  r = avio_closep(&format_->pb);
  if (r < 0) return fail_(avErrorText("avio_closep", r));
  if (proRes && type_ == FileType::kQuickTimeMovie) {
    std::string reason;
    if (!setSampleDescriptionVendor(path_, kProResVendor, &reason)) return fail_(reason);
  }
  return true;
}

}  // namespace media
