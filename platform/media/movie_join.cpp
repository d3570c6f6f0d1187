#include "platform/media/movie_join.h"

#include <memory>

#include "platform/media/av_error.h"
#include "platform/media/av_ptr.h"

namespace media {

namespace {

InputFormatPtr openPart(const std::string& path, std::string* error) {
  AVFormatContext* raw = nullptr;
  int r = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
  if (r < 0) {
    *error = path + ": " + avErrorText(r);
    return nullptr;
  }
  InputFormatPtr input(raw);
  if ((r = avformat_find_stream_info(raw, nullptr)) < 0) {
    *error = path + ": " + avErrorText(r);
    return nullptr;
  }
  if (raw->nb_streams != 1 || raw->streams[0]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
    *error = path + ": not one video track alone";
    return nullptr;
  }
  return input;
}

// The same stream, as far as a decoder can tell: codec, size, pixel format
// and the parameter sets it starts from.
bool sameStream(const AVCodecParameters& a, const AVCodecParameters& b) {
  return a.codec_id == b.codec_id && a.width == b.width && a.height == b.height &&
         a.format == b.format && a.extradata_size == b.extradata_size &&
         (a.extradata_size == 0 || std::equal(a.extradata, a.extradata + a.extradata_size, b.extradata));
}

}  // namespace

bool joinMovies(const std::vector<std::string>& parts, const std::string& output,
                double* lastFrame, std::string* error) {
  if (parts.empty()) {
    *error = "no parts";
    return false;
  }
  // Every part is checked before the output is touched.
  std::vector<InputFormatPtr> inputs;
  for (const std::string& path : parts) {
    inputs.push_back(openPart(path, error));
    if (!inputs.back()) return false;
    if (!sameStream(*inputs.front()->streams[0]->codecpar, *inputs.back()->streams[0]->codecpar)) {
      *error = path + ": not encoded as " + parts.front() + " is";
      return false;
    }
  }

  AVFormatContext* raw = nullptr;
  int r = avformat_alloc_output_context2(&raw, nullptr, "mp4", output.c_str());
  if (r < 0) {
    *error = avErrorText("avformat_alloc_output_context2", r);
    return false;
  }
  OutputFormatPtr out(raw);
  const AVStream* first = inputs.front()->streams[0];
  AVStream* stream = avformat_new_stream(raw, nullptr);
  if (!stream || (r = avcodec_parameters_copy(stream->codecpar, first->codecpar)) < 0) {
    *error = avErrorText("avcodec_parameters_copy", stream ? r : AVERROR(ENOMEM));
    return false;
  }
  stream->codecpar->codec_tag = 0;
  stream->time_base = first->time_base;
  if ((r = avio_open(&raw->pb, output.c_str(), AVIO_FLAG_WRITE)) < 0) {
    *error = output + ": " + avErrorText(r);
    return false;
  }
  AVDictionary* options = nullptr;
  const std::string timescale = std::to_string(first->time_base.den);
  av_dict_set(&options, "video_track_timescale", timescale.c_str(), 0);
  av_dict_set(&options, "movie_timescale", timescale.c_str(), 0);
  av_dict_set(&options, "movflags", "+faststart", 0);
  r = avformat_write_header(raw, &options);
  av_dict_free(&options);
  if (r < 0) {
    *error = avErrorText("avformat_write_header", r);
    return false;
  }

  // Each frame is written once the next one's time gives its duration, as
  // the recorder writes them: a part's last frame may carry a duration cut
  // short by its edit list. The last frame of all lasts as long as the
  // interval before it.
  PacketPtr packet(av_packet_alloc()), held(av_packet_alloc());
  bool holding = false;
  int64_t interval = 0;
  auto writeHeld = [&](int64_t duration) {
    held->duration = duration;
    held->stream_index = 0;
    held->pos = -1;
    const int written = av_write_frame(raw, held.get());
    av_packet_unref(held.get());
    holding = false;
    if (written < 0) *error = avErrorText("av_write_frame", written);
    return written >= 0;
  };
  for (size_t i = 0; i < inputs.size(); ++i) {
    AVStream* in = inputs[i]->streams[0];
    bool firstPacket = true;
    while ((r = av_read_frame(inputs[i].get(), packet.get())) >= 0) {
      av_packet_rescale_ts(packet.get(), in->time_base, stream->time_base);
      // A part starts one frame interval after the one before ends.
      const int64_t expected = holding ? held->pts + (interval > 0 ? interval : 1) : 0;
      if (firstPacket && (i == 0 ? packet->pts != 0 : packet->pts != expected)) {
        *error = parts[i] + (i == 0 ? ": does not start at the video's start"
                                    : ": does not start where " + parts[i - 1] + " ends");
        return false;
      }
      firstPacket = false;
      if (holding) {
        interval = packet->pts - held->pts;
        if (!writeHeld(interval)) return false;
      }
      *lastFrame = static_cast<double>(packet->pts) * av_q2d(stream->time_base);
      av_packet_move_ref(held.get(), packet.get());
      holding = true;
    }
    if (r != AVERROR_EOF) {
      *error = parts[i] + ": " + avErrorText("av_read_frame", r);
      return false;
    }
  }
  if (holding && !writeHeld(interval > 0 ? interval : 1)) return false;
  if ((r = av_write_trailer(raw)) < 0 || (r = avio_closep(&raw->pb)) < 0) {
    *error = avErrorText("av_write_trailer", r);
    return false;
  }
  return true;
}

}  // namespace media
