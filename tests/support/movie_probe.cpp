#include "movie_probe.h"

#include "platform/media/reader/movie_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace {

std::string tag(const AVDictionary* dict, const char* key) {
  const AVDictionaryEntry* e = av_dict_get(dict, key, nullptr, 0);
  return e ? e->value : "";
}

}  // namespace

MovieInfo probeMovie(const std::string& path) {
  auto failed = [&](const std::string& why) {
    ADD_FAILURE() << path << ": " << why;
    return MovieInfo{};
  };
  media::MovieReader::Options options;
  options.threads = 1;
  std::string error;
  std::unique_ptr<media::MovieReader> reader = media::MovieReader::open(path, options, &error);
  if (!reader) return failed(error);
  const AVFormatContext& format = reader->format();
  // One video stream, perhaps a sound track after it, and perhaps the
  // chapters' text track.
  auto typeOf = [&](unsigned i) { return format.streams[i]->codecpar->codec_type; };
  const bool withSound = format.nb_streams > 1 && typeOf(1) == AVMEDIA_TYPE_AUDIO;
  if (format.nb_streams < 1 || typeOf(0) != AVMEDIA_TYPE_VIDEO ||
      format.nb_streams > 2u + withSound ||
      (format.nb_streams > 1u + withSound && format.nb_chapters == 0))
    return failed("expected one video stream, a sound track and chapters at most");
  const AVStream* st = format.streams[0];

  MovieInfo info;
  info.majorBrand = tag(format.metadata, "major_brand");
  info.vendor = tag(st->metadata, "vendor_id");
  avcodec_parameters_copy(info.par.get(), st->codecpar);
  info.timeBase = st->time_base;
  info.streamDuration = st->duration;
  for (unsigned i = 0; i < format.nb_chapters; ++i)
    info.chapters.emplace_back(
        tag(format.chapters[i]->metadata, "title"),
        static_cast<double>(format.chapters[i]->start) * av_q2d(format.chapters[i]->time_base));
  media::CodecContextPtr soundDecoder;
  if (withSound) {
    const AVCodecParameters* p = format.streams[1]->codecpar;
    const AVCodec* aac = avcodec_find_decoder(p->codec_id);
    soundDecoder.reset(avcodec_alloc_context3(aac));
    avcodec_parameters_to_context(soundDecoder.get(), p);
    if (avcodec_open2(soundDecoder.get(), aac, nullptr) < 0)
      return failed("cannot decode the sound");
    info.sound =
        MovieInfo::Sound{p->codec_id, p->sample_rate, p->ch_layout.nb_channels, p->bit_rate, {}};
  }
  int64_t firstVideoAt = -1, lastVideoAt = -1, firstSoundAt = -1, lastSoundAt = -1;
  reader->watchPackets([&](const AVPacket& packet) {
    if (packet.stream_index > 1 || (packet.stream_index == 1 && !withSound)) return;
    if (packet.stream_index == 1) {
      if (firstSoundAt < 0) firstSoundAt = packet.pos;
      lastSoundAt = packet.pos;
      avcodec_send_packet(soundDecoder.get(), &packet);
      for (media::FramePtr f(av_frame_alloc());
           avcodec_receive_frame(soundDecoder.get(), f.get()) == 0;)
        info.sound->left.insert(info.sound->left.end(), reinterpret_cast<float*>(f->data[0]),
                                reinterpret_cast<float*>(f->data[0]) + f->nb_samples);
      return;
    }
    if (firstVideoAt < 0) firstVideoAt = packet.pos;
    lastVideoAt = packet.pos;
    info.packetPts.push_back(packet.pts);
    info.packetKey.push_back(packet.flags & AV_PKT_FLAG_KEY);
    info.packetData.emplace_back(packet.data, packet.data + packet.size);
  });
  while (const AVFrame* f = reader->next()) info.frames.emplace_back(av_frame_clone(f));
  info.hasBFrames = std::max(st->codecpar->video_delay, reader->decoder().has_b_frames);
  if (info.sound)
    info.sound->interleaved = firstSoundAt < lastVideoAt && firstVideoAt < lastSoundAt;
  return info;
}

uint64_t bigEndian(const std::vector<uint8_t>& body, size_t at, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes && at + i < body.size(); ++i) v = v << 8 | body[at + i];
  return v;
}

std::vector<uint8_t> boxBody(const std::string& path, const std::vector<std::string>& boxPath) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<uint8_t> data(std::istreambuf_iterator<char>(file), {});
  size_t begin = 0, end = data.size();
  for (size_t depth = 0; depth < boxPath.size(); ++depth) {
    uint64_t size = 0, header = 8;
    for (;; begin += size) {  // along the boxes in [begin, end)
      if (begin + 8 > end) return {};
      size = bigEndian(data, begin, 4);
      header = size == 1 ? 16 : 8;  // then a 64-bit size follows the type
      if (size == 1) size = bigEndian(data, begin + 8, 8);
      if (size == 0) size = end - begin;  // up to the end
      if (size < header || size > end - begin) return {};
      if (std::string(reinterpret_cast<const char*>(&data[begin + 4]), 4) == boxPath[depth]) break;
    }
    end = begin + size;
    begin += header;
    // Children of a sample description follow its entry count; those of a
    // video sample entry follow its 78 bytes of fields.
    if (depth + 1 < boxPath.size())
      begin += boxPath[depth] == "stsd" ? 8 : depth > 0 && boxPath[depth - 1] == "stsd" ? 78 : 0;
  }
  return std::vector<uint8_t>(data.begin() + begin, data.begin() + end);
}

std::vector<uint8_t> yuva444ToRgba(const AVFrame& f) {
  const int depth = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f.format))->comp[0].depth;
  const double s = 1 << (depth - 8), alphaMax = (1 << depth) - 1;
  std::vector<uint8_t> out(static_cast<size_t>(f.width) * f.height * 4);
  auto at = [&](int plane, int x, int y) -> double {
    return reinterpret_cast<const uint16_t*>(f.data[plane] + y * f.linesize[plane])[x];
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
  const size_t pixels = std::min(a.size(), b.size()) / 4;
  for (size_t i = 0; i < 4 * pixels; ++i) {
    const int d = std::abs(int{a[i]} - int{b[i]});
    sum[i % 4] += d * d;
    result.maxDiff[i % 4] = std::max(result.maxDiff[i % 4], d);
  }
  for (int c = 0; c < 4; ++c) {
    double mse = pixels ? sum[c] / pixels : 0;
    result.psnr[c] = mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
  }
  return result;
}
