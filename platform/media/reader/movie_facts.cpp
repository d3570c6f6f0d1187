#include "platform/media/reader/movie_facts.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "platform/media/av_error.h"
#include "platform/media/reader/movie_reader.h"

extern "C" {
#include <libavutil/display.h>
}

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

// The sound track decoded packet by packet as a player would, where a
// damaged packet is an error rather than a moment of silence.
class SoundCheck {
 public:
  explicit SoundCheck(const AVStream& stream) : stream_(stream) {
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    if (!codec) return;  // the rules tell its codec
    decoder_.reset(avcodec_alloc_context3(codec));
    if (!decoder_ || avcodec_parameters_to_context(decoder_.get(), stream.codecpar) < 0) {
      decoder_.reset();
      return;
    }
    decoder_->pkt_timebase = stream.time_base;
    decoder_->err_recognition = AV_EF_CRCCHECK | AV_EF_BITSTREAM | AV_EF_BUFFER | AV_EF_EXPLODE;
    if (avcodec_open2(decoder_.get(), codec, nullptr) < 0) decoder_.reset();
  }

  void take(const AVPacket& p) {
    if (!error_.empty()) return;
    ++packets_;
    const int64_t start = p.pts != AV_NOPTS_VALUE ? p.pts : p.dts;
    if (start != AV_NOPTS_VALUE) {
      first_ = std::min(first_, start);
      end_ = std::max(end_, start + std::max<int64_t>(p.duration, 0));
    }
    if (p.flags & AV_PKT_FLAG_CORRUPT) return fail("está danificado");
    if (decoder_) decode(&p);
  }
  // After the last packet: what is still in the decoder, and the packets
  // the index lists that the file no longer holds.
  void finish() {
    if (decoder_ && error_.empty()) decode(nullptr);
    const int listed = avformat_index_get_entries_count(&stream_);
    if (error_.empty() && packets_ < listed)
      error_ = "o arquivo acaba antes do fim: " + std::to_string(packets_) + " de " +
               std::to_string(listed) + " pacotes de som";
  }
  const std::string& error() const { return error_; }
  double seconds() const {
    return end_ > first_ ? static_cast<double>(end_ - first_) * av_q2d(stream_.time_base) : 0;
  }

 private:
  void fail(const std::string& why) {
    error_ = "o pacote de som " + std::to_string(packets_) + " " + why;
  }
  void decode(const AVPacket* p) {
    int r = avcodec_send_packet(decoder_.get(), p);
    while (r >= 0) {
      r = avcodec_receive_frame(decoder_.get(), frame_.get());
      if (r == 0 && (frame_->decode_error_flags || (frame_->flags & AV_FRAME_FLAG_CORRUPT)))
        r = AVERROR_INVALIDDATA;
    }
    if (r != AVERROR(EAGAIN) && r != AVERROR_EOF)
      fail("não se decodifica (" + avErrorText(r) + ")");
  }

  const AVStream& stream_;
  CodecContextPtr decoder_;
  FramePtr frame_{av_frame_alloc()};
  int64_t packets_ = 0;
  int64_t first_ = std::numeric_limits<int64_t>::max(), end_ = std::numeric_limits<int64_t>::min();
  std::string error_;
};

const int32_t* displayMatrix(const AVStream& s) {
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 30, 100)
  const AVPacketSideData* d = av_packet_side_data_get(
      s.codecpar->coded_side_data, s.codecpar->nb_coded_side_data, AV_PKT_DATA_DISPLAYMATRIX);
  return d && d->size >= 9 * sizeof(int32_t) ? reinterpret_cast<const int32_t*>(d->data) : nullptr;
#else
  size_t size = 0;
  const uint8_t* d = av_stream_get_side_data(&s, AV_PKT_DATA_DISPLAYMATRIX, &size);
  return d && size >= 9 * sizeof(int32_t) ? reinterpret_cast<const int32_t*>(d) : nullptr;
#endif
}

// A display matrix other than the identity: its clockwise turn when it only
// turns the picture, NaN when it also flips, stretches or moves it.
void readDisplayMatrix(const AVStream& video, MovieFacts* facts) {
  const int32_t* m = displayMatrix(video);
  const int32_t identity[9] = {1 << 16, 0, 0, 0, 1 << 16, 0, 0, 0, 1 << 30};
  if (!m || std::equal(m, m + 9, identity)) return;
  facts->displayMatrix = true;
  const bool turnOnly = m[0] == m[4] && m[1] == -m[3] && m[2] == 0 && m[5] == 0 && m[6] == 0 &&
                        m[7] == 0 && m[8] == 1 << 30 &&
                        std::hypot(double(m[0]), double(m[1])) == 65536.0;
  const double turn = std::fmod(360 - av_display_rotation_get(m), 360);
  facts->turnDegrees = turnOnly ? std::round(turn) : std::nan("");
}

// What the header says of the tracks, before a frame is read.
void readTracks(const AVFormatContext& format, const AVStream& video, MovieFacts* facts) {
  const bool iso = facts->index != MovieFacts::Index::kNotIso;
  for (unsigned i = 0; i < format.nb_streams; ++i) {
    const AVStream& s = *format.streams[i];
    const AVMediaType type = s.codecpar->codec_type;
    if ((type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO) ||
        (s.disposition & AV_DISPOSITION_ATTACHED_PIC))
      continue;
    if (type == AVMEDIA_TYPE_VIDEO) ++facts->videoTracks;
    // An ISO track's "enabled" flag is FFmpeg's "default".
    if (iso && !(s.disposition & AV_DISPOSITION_DEFAULT)) ++facts->disabledTracks;
    if (s.duration != AV_NOPTS_VALUE && s.duration > 0)
      facts->headerSeconds =
          std::max(facts->headerSeconds, static_cast<double>(s.duration) * av_q2d(s.time_base));
  }
  if (format.duration != AV_NOPTS_VALUE && format.duration > 0)
    facts->headerSeconds =
        std::max(facts->headerSeconds, static_cast<double>(format.duration) / AV_TIME_BASE);
  readDisplayMatrix(video, facts);
  for (const AVRational aspect : {video.sample_aspect_ratio, video.codecpar->sample_aspect_ratio}) {
    if (aspect.num <= 0 || aspect.den <= 0 || aspect.num == aspect.den) continue;
    av_reduce(&facts->pixelWidth, &facts->pixelHeight, aspect.num, aspect.den, 1 << 30);
    break;
  }
  const AVFieldOrder order = video.codecpar->field_order;
  facts->interlaced = order != AV_FIELD_UNKNOWN && order != AV_FIELD_PROGRESSIVE;
}

// Each video packet's start and length, from the demuxer, and their bytes.
struct VideoPackets {
  struct Span {
    int64_t pts, duration;
  };
  std::vector<Span> spans;
  int64_t bytes = 0;
};

// Every packet read and every video frame decoded, the sound's packets
// checked as they pass; false, with the reason in `error`, at the first that
// fails, or when the file lists more frames than it gives.
bool readPackets(MovieReader* reader, const AVStream* sound, std::optional<SoundCheck>* soundCheck,
                 VideoPackets* packets, std::string* error) {
  const AVStream& video = reader->stream();
  reader->watchPackets([&](const AVPacket& p) {
    if (sound && p.stream_index == sound->index) (*soundCheck)->take(p);
    if (p.stream_index != video.index) return;
    packets->spans.push_back({p.pts != AV_NOPTS_VALUE ? p.pts : p.dts, p.duration});
    packets->bytes += p.size;
  });
  while (reader->next() && (!*soundCheck || (*soundCheck)->error().empty())) {
  }
  if (!reader->error().empty()) {
    *error = "o quadro " + std::to_string(reader->framesRead() + 1) +
             " não decodifica: " + reader->error();
    return false;
  }
  if (*soundCheck) (*soundCheck)->finish();
  if (*soundCheck && !(*soundCheck)->error().empty()) {
    *error = (*soundCheck)->error();
    return false;
  }
  // A file cut short keeps its index: the frames it lists and never gives
  // are the proof.
  if (video.nb_frames > 0 && reader->framesRead() < video.nb_frames) {
    *error = "o arquivo acaba antes do fim: " + std::to_string(reader->framesRead()) + " de " +
             std::to_string(video.nb_frames) + " quadros";
    return false;
  }
  if (reader->framesRead() == 0 || packets->spans.empty()) {
    *error = "o vídeo não tem quadros";
    return false;
  }
  return true;
}

void readVideoCodec(const AVCodecParameters& par, MovieFacts* facts) {
  facts->videoCodec = avcodec_get_name(par.codec_id);
  if (const char* profile = avcodec_profile_name(par.codec_id, par.profile))
    facts->profile = profile;
  facts->level = par.codec_id == AV_CODEC_ID_H264 && par.level > 0 ? par.level : 0;
  facts->width = par.width;
  facts->height = par.height;
}

// The frames' lengths, the shortest and the longest, from each one's start
// to the next one's; the video's length and rate.
void readTiming(VideoPackets* packets, AVRational timeBase, MovieFacts* facts) {
  using Span = VideoPackets::Span;
  std::vector<Span>& spans = packets->spans;
  std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.pts < b.pts; });
  const double tick = av_q2d(timeBase);
  facts->shortestFrame = 1e300;
  for (size_t i = 0; i < spans.size(); ++i) {
    const int64_t length = i + 1 < spans.size() ? spans[i + 1].pts - spans[i].pts
                                                : std::max<int64_t>(spans[i].duration, 0);
    if (i + 1 == spans.size() && length == 0) continue;  // a last frame of unknown length
    facts->shortestFrame = std::min(facts->shortestFrame, static_cast<double>(length) * tick);
    facts->longestFrame = std::max(facts->longestFrame, static_cast<double>(length) * tick);
  }
  if (facts->shortestFrame > facts->longestFrame) facts->shortestFrame = facts->longestFrame;
  const Span& last = spans.back();
  facts->seconds =
      static_cast<double>(last.pts + std::max<int64_t>(last.duration, 0) - spans.front().pts) *
      tick;
  facts->videoBitRate =
      facts->seconds > 0 ? static_cast<double>(packets->bytes) * 8 / facts->seconds : 0;
}

void readSound(const AVStream& sound, MovieFacts* facts) {
  facts->hasSound = true;
  facts->soundCodec = avcodec_get_name(sound.codecpar->codec_id);
  facts->channels = sound.codecpar->ch_layout.nb_channels;
  facts->sampleRate = sound.codecpar->sample_rate;
}

const AVStream* firstSoundTrack(const AVFormatContext& format) {
  for (unsigned i = 0; i < format.nb_streams; ++i)
    if (format.streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) return format.streams[i];
  return nullptr;
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
  const AVStream& video = reader->stream();
  const AVStream* sound = firstSoundTrack(reader->format());
  readTracks(reader->format(), video, &facts);
  std::optional<SoundCheck> soundCheck;
  if (sound) soundCheck.emplace(*sound);

  VideoPackets packets;
  if (!readPackets(reader.get(), sound, &soundCheck, &packets, error)) return std::nullopt;
  readVideoCodec(*video.codecpar, &facts);
  facts.frames = reader->framesRead();
  readTiming(&packets, video.time_base, &facts);
  facts.packetSeconds = std::max(facts.seconds, soundCheck ? soundCheck->seconds() : 0);
  if (sound) readSound(*sound, &facts);
  return facts;
}

}  // namespace media
