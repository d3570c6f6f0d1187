#include "platform/media/movie_facts.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/media/movie_reader.h"

namespace media {
namespace {

// The top-level boxes of an ISO movie, in order, up to the first of its
// index ('moov') and its media data ('mdat').
MovieFacts::Index indexPlace(const std::string& path, int64_t fileBytes) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return MovieFacts::Index::kNotIso;
  MovieFacts::Index place = MovieFacts::Index::kNotIso;
  int64_t at = 0;
  bool first = true;
  for (;;) {
    unsigned char header[16];
    if (std::fseek(file, static_cast<long>(at), SEEK_SET) != 0 ||
        std::fread(header, 1, 8, file) != 8)
      break;
    uint64_t size = (uint64_t{header[0]} << 24) | (uint64_t{header[1]} << 16) |
                    (uint64_t{header[2]} << 8) | header[3];
    const std::string type(reinterpret_cast<const char*>(header + 4), 4);
    // An ISO file starts with its type box (QuickTime's may start with a
    // box of free space or go straight to the media data).
    if (first && type != "ftyp" && type != "wide" && type != "free" && type != "mdat" &&
        type != "moov")
      break;
    first = false;
    if (type == "moov") {
      place = MovieFacts::Index::kFirst;
      break;
    }
    if (type == "mdat") {
      place = MovieFacts::Index::kAfterData;
      break;
    }
    if (size == 1) {
      if (std::fread(header + 8, 1, 8, file) != 8) break;
      size = 0;
      for (int i = 8; i < 16; ++i) size = size << 8 | header[i];
    } else if (size == 0) {
      break;  // to the end of the file, with no index seen
    }
    if (size < 8 || size > static_cast<uint64_t>(fileBytes - at)) break;
    at += static_cast<int64_t>(size);
  }
  std::fclose(file);
  return place;
}

}  // namespace

std::optional<MovieFacts> readMovieFacts(const std::string& path, std::string* error) {
  MovieFacts facts;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = "não é um arquivo que se possa ler";
    return std::nullopt;
  }
  facts.fileBytes = st.st_size;
  facts.index = indexPlace(path, facts.fileBytes);

  MovieReader::Options options;
  options.strict = true;
  std::string why;
  std::unique_ptr<MovieReader> reader = MovieReader::open(path, options, &why);
  if (!reader) {
    *error = why;
    return std::nullopt;
  }
  const AVFormatContext& format = reader->format();
  const AVStream& video = reader->stream();
  const AVStream* sound = nullptr;
  for (unsigned i = 0; i < format.nb_streams && !sound; ++i)
    if (format.streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) sound = format.streams[i];

  // Each video packet's start and length, from the demuxer.
  struct Span {
    int64_t pts, duration;
  };
  std::vector<Span> spans;
  int64_t videoBytes = 0;
  reader->watchPackets([&](const AVPacket& p) {
    if (p.stream_index != video.index) return;
    spans.push_back({p.pts != AV_NOPTS_VALUE ? p.pts : p.dts, p.duration});
    videoBytes += p.size;
  });
  while (reader->next()) {
  }
  if (!reader->error().empty()) {
    *error = "o quadro " + std::to_string(reader->framesRead() + 1) +
             " não decodifica: " + reader->error();
    return std::nullopt;
  }
  // A file cut short keeps its index: the frames it lists and never gives
  // are the proof.
  if (video.nb_frames > 0 && reader->framesRead() < video.nb_frames) {
    *error = "o arquivo acaba antes do fim: " + std::to_string(reader->framesRead()) + " de " +
             std::to_string(video.nb_frames) + " quadros";
    return std::nullopt;
  }
  if (reader->framesRead() == 0 || spans.empty()) {
    *error = "o vídeo não tem quadros";
    return std::nullopt;
  }

  const AVCodecParameters& par = *video.codecpar;
  facts.videoCodec = avcodec_get_name(par.codec_id);
  if (const char* profile = avcodec_profile_name(par.codec_id, par.profile))
    facts.profile = profile;
  facts.level = par.codec_id == AV_CODEC_ID_H264 && par.level > 0 ? par.level : 0;
  facts.width = par.width;
  facts.height = par.height;
  facts.frames = reader->framesRead();

  std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.pts < b.pts; });
  const double tick = av_q2d(video.time_base);
  facts.shortestFrame = 1e300;
  for (size_t i = 0; i < spans.size(); ++i) {
    const int64_t length = i + 1 < spans.size() ? spans[i + 1].pts - spans[i].pts
                                                : std::max<int64_t>(spans[i].duration, 0);
    if (i + 1 == spans.size() && length == 0) continue;  // a last frame of unknown length
    facts.shortestFrame = std::min(facts.shortestFrame, static_cast<double>(length) * tick);
    facts.longestFrame = std::max(facts.longestFrame, static_cast<double>(length) * tick);
  }
  if (facts.shortestFrame > facts.longestFrame) facts.shortestFrame = facts.longestFrame;
  const Span& last = spans.back();
  facts.seconds =
      static_cast<double>(last.pts + std::max<int64_t>(last.duration, 0) - spans.front().pts) *
      tick;
  facts.videoBitRate = facts.seconds > 0 ? static_cast<double>(videoBytes) * 8 / facts.seconds : 0;

  if (sound) {
    facts.hasSound = true;
    facts.soundCodec = avcodec_get_name(sound->codecpar->codec_id);
    facts.channels = sound->codecpar->ch_layout.nb_channels;
    facts.sampleRate = sound->codecpar->sample_rate;
  }
  return facts;
}

}  // namespace media
