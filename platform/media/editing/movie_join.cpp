#include "platform/media/editing/movie_join.h"

#include <algorithm>
#include <memory>

#include "platform/media/av_error.h"
#include "platform/media/av_ptr.h"
#include "platform/media/held_packet.h"
#include "platform/media/reader/movie_reader.h"

namespace media {

namespace {

InputFormatPtr openPart(const std::string& path, std::string* error) {
  AVFormatContext* raw = nullptr;
  // "file:": a part's name is a file's, never a URL or another protocol.
  int r = avformat_open_input(&raw, ("file:" + path).c_str(), nullptr, nullptr);
  if (r < 0) {
    *error = path + ": " + avErrorText(r);
    return nullptr;
  }
  InputFormatPtr input(raw);
  if ((r = avformat_find_stream_info(raw, nullptr)) < 0) {
    *error = path + ": " + avErrorText("avformat_find_stream_info", r);
    return nullptr;
  }
  if (raw->nb_streams != 1 || raw->streams[0]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
    *error = path + ": não tem só uma trilha de vídeo";
    return nullptr;
  }
  return input;
}

// The same stream, as far as a decoder can tell: codec, size, pixel format
// and the parameter sets it starts from.
bool sameStream(const AVCodecParameters& a, const AVCodecParameters& b) {
  return a.codec_id == b.codec_id && a.width == b.width && a.height == b.height &&
         a.format == b.format && a.extradata_size == b.extradata_size &&
         (a.extradata_size == 0 ||
          std::equal(a.extradata, a.extradata + a.extradata_size, b.extradata));
}

// Whether every one of the `frames` frames of `path` decodes without damage.
bool decodesWhole(const std::string& path, size_t frames, std::string* error) {
  MovieReader::Options options;
  options.strict = true;
  std::unique_ptr<MovieReader> reader = MovieReader::open(path, options, error);
  if (!reader) {
    *error = path + ": " + *error;
    return false;
  }
  while (reader->next()) {
  }
  if (!reader->error().empty()) {
    *error = path + ": está danificado: " + reader->error();
    return false;
  }
  if (reader->framesRead() != static_cast<int64_t>(frames)) {
    *error = path + ": está danificado: " + std::to_string(reader->framesRead()) + " de " +
             std::to_string(frames) + " quadros se decodificam";
    return false;
  }
  return true;
}

}  // namespace

bool readWholeMovie(const std::string& path, MovieContents* contents, std::string* error) {
  InputFormatPtr input = openPart(path, error);
  if (!input) return false;
  AVStream* stream = input->streams[0];
  *contents = MovieContents{};
  for (const AVDictionaryEntry* tag = nullptr;
       (tag = av_dict_get(input->metadata, "", tag, AV_DICT_IGNORE_SUFFIX));)
    contents->tags[tag->key] = tag->value;
  contents->timescale = stream->time_base.num == 1 ? stream->time_base.den : 0;
  if (contents->timescale < 1) {
    *error = path + ": a trilha não conta o tempo em frações de segundo inteiras";
    return false;
  }
  // The index comes first (faststart): a file cut short still opens, and its
  // reader just stops early. Every frame the index lists must lie inside the
  // file.
  const int64_t fileSize = avio_size(input->pb);
  const int listed = avformat_index_get_entries_count(stream);
  for (int i = 0; i < listed; ++i) {
    const AVIndexEntry* entry = avformat_index_get_entry(stream, i);
    if (fileSize < 0 || entry->pos + entry->size > fileSize) {
      *error = path + ": está incompleto: o quadro " + std::to_string(i + 1) + " de " +
               std::to_string(listed) + " fica além do fim do arquivo";
      return false;
    }
  }
  PacketPtr packet(av_packet_alloc());
  int r = 0;
  while ((r = av_read_frame(input.get(), packet.get())) >= 0) {
    const bool corrupt = packet->flags & AV_PKT_FLAG_CORRUPT;
    contents->frameTimes.push_back(packet->pts);
    av_packet_unref(packet.get());
    if (corrupt) {
      *error = path + ": está incompleto: o quadro " + std::to_string(contents->frameTimes.size()) +
               " está danificado";
      return false;
    }
  }
  if (r != AVERROR_EOF) {
    *error = path + ": " + avErrorText("av_read_frame", r);
    return false;
  }
  if (static_cast<int64_t>(contents->frameTimes.size()) != listed || listed == 0) {
    *error = path + ": está incompleto: o índice lista " + std::to_string(listed) +
             " quadros e o arquivo tem " + std::to_string(contents->frameTimes.size());
    return false;
  }
  return true;
}

bool checkJoinable(const std::vector<std::string>& parts, std::vector<MovieContents>* contents,
                   std::string* error, JoinCheck check) {
  if (parts.empty()) {
    *error = "nenhum trecho";
    return false;
  }
  contents->assign(parts.size(), {});
  AVCodecParameters* first = nullptr;
  InputFormatPtr firstInput;
  // Frame times across the parts, in the first part's timescale.
  int64_t last = 0, interval = 0;
  for (size_t i = 0; i < parts.size(); ++i) {
    MovieContents& c = (*contents)[i];
    if (!readWholeMovie(parts[i], &c, error)) return false;
    if (check == JoinCheck::kDecoded && !decodesWhole(parts[i], c.frameTimes.size(), error))
      return false;
    InputFormatPtr input = openPart(parts[i], error);
    if (!input) return false;
    if (!first) {
      firstInput = std::move(input);
      first = firstInput->streams[0]->codecpar;
    } else if (!sameStream(*first, *input->streams[0]->codecpar)) {
      *error = parts[i] + ": não foi codificado como " + parts.front();
      return false;
    }
    const AVRational from{1, c.timescale}, to{1, contents->front().timescale};
    for (size_t k = 0; k < c.frameTimes.size(); ++k) {
      const int64_t t = av_rescale_q(c.frameTimes[k], from, to);
      if (k == 0) {
        // A part starts one frame interval after the one before ends.
        const int64_t expected = i == 0 ? 0 : last + (interval > 0 ? interval : 1);
        if (t != expected) {
          *error = parts[i] + (i == 0 ? ": não começa no início do vídeo"
                                      : ": não começa onde " + parts[i - 1] + " termina");
          return false;
        }
      } else {
        interval = t - last;
      }
      last = t;
    }
  }
  return true;
}

namespace {

// The joined file, its one track like the first part's, and its header: the
// first part's timescale, the index at the front.
OutputFormatPtr openJoined(const std::string& output, const AVStream& first, std::string* error) {
  AVFormatContext* raw = nullptr;
  int r = avformat_alloc_output_context2(&raw, nullptr, "mp4", output.c_str());
  if (r < 0) {
    *error = avErrorText("avformat_alloc_output_context2", r);
    return nullptr;
  }
  OutputFormatPtr out(raw);
  AVStream* stream = avformat_new_stream(raw, nullptr);
  if (!stream || (r = avcodec_parameters_copy(stream->codecpar, first.codecpar)) < 0) {
    *error = avErrorText("avcodec_parameters_copy", stream ? r : AVERROR(ENOMEM));
    return nullptr;
  }
  stream->codecpar->codec_tag = 0;
  stream->time_base = first.time_base;
  if ((r = avio_open(&raw->pb, ("file:" + output).c_str(), AVIO_FLAG_WRITE)) < 0) {
    *error = output + ": " + avErrorText(r);
    return nullptr;
  }
  Dictionary options;
  const std::string timescale = std::to_string(first.time_base.den);
  options.set("video_track_timescale", timescale);
  options.set("movie_timescale", timescale);
  options.set("movflags", "+faststart");
  r = avformat_write_header(raw, options.out());
  if (r < 0) {
    *error = avErrorText("avformat_write_header", r);
    return nullptr;
  }
  return out;
}

// The parts' packets into `out`, in order, each written once the next one's
// time gives its duration, as the recorder writes them: a part's last frame
// may carry a duration cut short by its edit list.
class PacketCopy {
 public:
  PacketCopy(AVFormatContext* out, std::string* error)
      : out_(out), stream_(out->streams[0]), error_(error) {}

  bool start() {
    if (packet_ && held_) return true;
    *error_ = avErrorText("av_packet_alloc", AVERROR(ENOMEM));
    return false;
  }
  // Part `i` of `parts`, read from `in`; `seconds` is where the movie ends
  // so far.
  bool copy(AVFormatContext* in, const std::vector<std::string>& parts, size_t i, double* seconds);
  bool finish() { return held_.flush(1, write()); }

 private:
  HeldPacket::Write write() {
    return [this](AVPacket* p) {
      p->stream_index = 0;
      p->pos = -1;
      const int written = av_write_frame(out_, p);
      av_packet_unref(p);
      if (written < 0) *error_ = avErrorText("av_write_frame", written);
      return written >= 0;
    };
  }
  // A part starts one frame interval after the one before ends.
  bool startsInTime(const std::vector<std::string>& parts, size_t i) const;

  AVFormatContext* out_;
  AVStream* stream_;
  std::string* error_;
  PacketPtr packet_{av_packet_alloc()};
  HeldPacket held_;
};

bool PacketCopy::copy(AVFormatContext* in, const std::vector<std::string>& parts, size_t i,
                      double* seconds) {
  const HeldPacket::Write write = this->write();
  bool firstPacket = true;
  int r = 0;
  while ((r = av_read_frame(in, packet_.get())) >= 0) {
    av_packet_rescale_ts(packet_.get(), in->streams[0]->time_base, stream_->time_base);
    if (firstPacket && !startsInTime(parts, i)) return false;
    firstPacket = false;
    const int64_t shown = packet_->pts;
    if (!held_.push(packet_.get(), write)) return false;
    // The last frame lasts as long as the interval before it.
    *seconds = static_cast<double>(shown + std::max<int64_t>(held_.interval(), 1)) *
               av_q2d(stream_->time_base);
  }
  if (r != AVERROR_EOF) {
    *error_ = parts[i] + ": " + avErrorText("av_read_frame", r);
    return false;
  }
  return true;
}

bool PacketCopy::startsInTime(const std::vector<std::string>& parts, size_t i) const {
  const AVPacket* last = held_.held();
  const int64_t expected = last ? last->pts + (held_.interval() > 0 ? held_.interval() : 1) : 0;
  if (i == 0 ? packet_->pts == 0 : packet_->pts == expected) return true;
  *error_ = parts[i] + (i == 0 ? ": não começa no início do vídeo"
                               : ": não começa onde " + parts[i - 1] + " termina");
  return false;
}

}  // namespace

bool joinMovies(const std::vector<std::string>& parts, const std::string& output, double* seconds,
                std::string* error) {
  std::vector<InputFormatPtr> inputs;
  for (const std::string& path : parts) {
    inputs.push_back(openPart(path, error));
    if (!inputs.back()) return false;
  }
  OutputFormatPtr out = openJoined(output, *inputs.front()->streams[0], error);
  if (!out) return false;
  PacketCopy packets(out.get(), error);
  if (!packets.start()) return false;
  for (size_t i = 0; i < inputs.size(); ++i)
    if (!packets.copy(inputs[i].get(), parts, i, seconds)) return false;
  if (!packets.finish()) return false;
  int r = av_write_trailer(out.get());
  if (r < 0) {
    *error = avErrorText("av_write_trailer", r);
    return false;
  }
  if ((r = avio_closep(&out->pb)) < 0) {
    *error = avErrorText("avio_closep", r);
    return false;
  }
  return true;
}

}  // namespace media
