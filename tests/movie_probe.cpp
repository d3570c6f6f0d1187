#include "movie_probe.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace {

struct InputFree {
  void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};

std::string tag(const AVDictionary* dict, const char* key) {
  const AVDictionaryEntry* e = av_dict_get(dict, key, nullptr, 0);
  return e ? e->value : "";
}

}  // namespace

MovieInfo probeMovie(const std::string& path, std::string* error) {
  MovieInfo info;
  error->clear();
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
    *error = "cannot open " + path;
    return info;
  }
  std::unique_ptr<AVFormatContext, InputFree> format(raw);
  if (avformat_find_stream_info(raw, nullptr) < 0 || raw->nb_streams != 1) {
    *error = "expected exactly one stream";
    return info;
  }
  AVStream* st = raw->streams[0];
  const AVCodecParameters* par = st->codecpar;
  info.majorBrand = tag(raw->metadata, "major_brand");
  info.vendor = tag(st->metadata, "vendor_id");
  info.codec = par->codec_id;
  info.codecTag = par->codec_tag;
  info.profile = par->profile;
  info.width = par->width;
  info.height = par->height;
  info.timeBase = st->time_base;
  info.streamDuration = st->duration;
  info.primaries = par->color_primaries;
  info.transfer = par->color_trc;
  info.matrix = par->color_space;

  const AVCodec* decoderCodec = avcodec_find_decoder(par->codec_id);
  media::CodecContextPtr decoder(avcodec_alloc_context3(decoderCodec));
  avcodec_parameters_to_context(decoder.get(), par);
  decoder->thread_count = 1;
  if (avcodec_open2(decoder.get(), decoderCodec, nullptr) < 0) {
    *error = "cannot open the decoder";
    return info;
  }
  media::PacketPtr packet(av_packet_alloc());
  auto drain = [&] {
    for (;;) {
      media::FramePtr frame(av_frame_alloc());
      if (avcodec_receive_frame(decoder.get(), frame.get()) < 0) return;
      info.frames.push_back(std::move(frame));
    }
  };
  while (av_read_frame(raw, packet.get()) >= 0) {
    info.packetPts.push_back(packet->pts);
    info.packetKey.push_back(packet->flags & AV_PKT_FLAG_KEY);
    info.packetData.emplace_back(packet->data, packet->data + packet->size);
    avcodec_send_packet(decoder.get(), packet.get());
    av_packet_unref(packet.get());
    drain();
  }
  avcodec_send_packet(decoder.get(), nullptr);
  drain();
  info.hasBFrames = std::max(par->video_delay, decoder->has_b_frames);
  return info;
}

namespace {

std::vector<uint8_t> fileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

// Calls visit(type, bodyBegin, bodyEnd) for each box in [begin, end).
template <typename Visit>
void forEachBox(const std::vector<uint8_t>& data, size_t begin, size_t end, Visit visit) {
  while (begin + 8 <= end) {
    uint64_t size = bigEndian(data, begin, 4);
    size_t header = 8;
    if (size == 1 && begin + 16 <= end) {
      size = bigEndian(data, begin + 8, 8);
      header = 16;
    }
    if (size == 0) size = end - begin;
    if (size < header || size > end - begin) return;
    if (!visit(std::string(reinterpret_cast<const char*>(&data[begin + 4]), 4), begin + header,
               begin + size))
      return;
    begin += size;
  }
}

}  // namespace

uint64_t bigEndian(const std::vector<uint8_t>& body, size_t at, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes && at + i < body.size(); ++i) v = v << 8 | body[at + i];
  return v;
}

std::vector<std::string> topLevelBoxes(const std::string& path) {
  const std::vector<uint8_t> data = fileBytes(path);
  std::vector<std::string> boxes;
  forEachBox(data, 0, data.size(), [&](const std::string& type, size_t, size_t) {
    boxes.push_back(type);
    return true;
  });
  return boxes;
}

std::vector<uint8_t> boxBody(const std::string& path, const std::vector<std::string>& boxPath) {
  const std::vector<uint8_t> data = fileBytes(path);
  size_t begin = 0, end = data.size();
  for (size_t depth = 0; depth < boxPath.size(); ++depth) {
    bool found = false;
    forEachBox(data, begin, end, [&](const std::string& type, size_t b, size_t e) {
      if (type != boxPath[depth]) return true;
      // Children of a sample description follow its entry count; those of a
      // video sample entry follow its 78 bytes of fields.
      const bool entry = depth > 0 && boxPath[depth - 1] == "stsd";
      begin = std::min(e, b + (type == "stsd" ? 8 : entry ? 78 : 0));
      if (depth + 1 == boxPath.size()) begin = b;
      end = e;
      found = true;
      return false;
    });
    if (!found) return {};
  }
  return std::vector<uint8_t>(data.begin() + begin, data.begin() + end);
}

std::vector<uint8_t> yuva444ToRgba(const AVFrame& f) {
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f.format));
  const int depth = desc->comp[0].depth;
  const double s = 1 << (depth - 8);
  const double alphaMax = (1 << depth) - 1;
  std::vector<uint8_t> out(static_cast<size_t>(f.width) * f.height * 4);
  auto at = [&](int plane, int x, int y) {
    return static_cast<double>(reinterpret_cast<const uint16_t*>(f.data[plane] + y * f.linesize[plane])[x]);
  };
  auto byte = [](double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); };
  for (int y = 0; y < f.height; ++y) {
    for (int x = 0; x < f.width; ++x) {
      double luma = (at(0, x, y) - 16 * s) / (219 * s);
      double cb = (at(1, x, y) - 128 * s) / (224 * s);
      double cr = (at(2, x, y) - 128 * s) / (224 * s);
      uint8_t* p = &out[(static_cast<size_t>(y) * f.width + x) * 4];
      p[0] = byte(255 * (luma + 1.5748 * cr));
      p[1] = byte(255 * (luma - 0.187324 * cb - 0.468124 * cr));
      p[2] = byte(255 * (luma + 1.8556 * cb));
      p[3] = f.data[3] ? byte(at(3, x, y) * 255 / alphaMax) : 255;
    }
  }
  return out;
}

ChannelError compareRgba(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  ChannelError result{};
  double sum[4] = {};
  size_t pixels = std::min(a.size(), b.size()) / 4;
  for (size_t i = 0; i < pixels; ++i) {
    for (int c = 0; c < 4; ++c) {
      int d = std::abs(int{a[i * 4 + c]} - int{b[i * 4 + c]});
      sum[c] += d * d;
      result.maxDiff[c] = std::max(result.maxDiff[c], d);
    }
  }
  for (int c = 0; c < 4; ++c) {
    double mse = pixels ? sum[c] / pixels : 0;
    result.psnr[c] = mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
  }
  return result;
}
