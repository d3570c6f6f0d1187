#include "platform/media/reader/sound_source.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
}

#include "common/input_file.h"
#include "platform/media/av_error.h"
#include "platform/media/av_ptr.h"
#include "platform/media/reader/stream_decoder.h"

namespace media {

struct SoundSource::Impl {
  std::string path;
  InputFormatPtr format;
  // Reading gives up once this has passed (while the file is opened only).
  std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
  CodecContextPtr decoder;
  std::unique_ptr<StreamDecoder> packets;
  SwrPtr resampler;
  FramePtr frame{av_frame_alloc()};
  int stream = -1;
  std::deque<float> left, right;  // decoded, not yet read
  bool passGaveSound = false;     // some sound came of this pass through the file
  std::string firstError;
  bool silent = false;   // no file: zeros for ever
  int passes = 0;        // times started over
  size_t firstPass = 0;  // samples the first pass gave, once it is over

  bool fail(const std::string& reason) {
    if (firstError.empty()) firstError = path + ": " + reason;
    return false;
  }

  // Resamples `in` (nullptr: what the resampler still holds) onto the queues.
  bool resample(const AVFrame* in) {
    const int inSamples = in ? in->nb_samples : 0;
    const int room = swr_get_out_samples(resampler.get(), inSamples);
    if (room < 0) return fail(avErrorText("swr_get_out_samples", room));
    std::vector<float> l(static_cast<size_t>(room) + 1), r(l.size());
    uint8_t* out[2] = {reinterpret_cast<uint8_t*>(l.data()), reinterpret_cast<uint8_t*>(r.data())};
    const int made =
        swr_convert(resampler.get(), out, room + 1,
                    in ? const_cast<const uint8_t**>(in->extended_data) : nullptr, inSamples);
    if (made < 0) return fail(avErrorText("swr_convert", made));
    left.insert(left.end(), l.begin(), l.begin() + made);
    right.insert(right.end(), r.begin(), r.begin() + made);
    if (made > 0) passGaveSound = true;
    return true;
  }

  // Decodes until some samples come, starting the file over at its end.
  bool decodeMore() {
    const size_t had = left.size();
    while (left.size() == had) {
      switch (packets->next(frame.get())) {
        case StreamDecoder::Step::kFrame:
          if (!resample(frame.get())) return false;
          break;
        case StreamDecoder::Step::kEnd:
          if (!startOver()) return false;
          break;
        case StreamDecoder::Step::kFailed:
          return fail(avErrorText(packets->failure().call, packets->failure().code));
      }
    }
    return true;
  }

  // The decoder has given all of this pass: what the resampler still holds,
  // then the file from its start.
  bool startOver() {
    if (!resample(nullptr)) return false;
    // A whole pass without a sample would loop for ever.
    if (!passGaveSound) return fail("não dá som nenhum do começo ao fim");
    passGaveSound = false;
    if (passes++ == 0) firstPass = left.size();
    int r = av_seek_frame(format.get(), stream, 0, AVSEEK_FLAG_BACKWARD);
    if (r < 0) r = avformat_seek_file(format.get(), -1, INT64_MIN, 0, 0, 0);
    if (r < 0) return fail(avErrorText("av_seek_frame", r));
    packets->restart();
    return true;
  }
};

SoundSource::SoundSource(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SoundSource::~SoundSource() = default;

namespace {

// What a user can act on, for the errors a file that is no sound gives;
// others name the call that gave them.
std::string openErrorText(const char* call, int code) {
  if (code == AVERROR_INVALIDDATA || code == AVERROR(EINVAL))
    return "não é um som que o FFmpeg saiba ler (" + avErrorText(code) + ")";
  if (code == AVERROR_EXIT)
    return "não foi lido em " + std::to_string(int(SoundSource::kOpenSeconds)) + " s";
  return avErrorText(call, code);
}

}  // namespace

std::unique_ptr<SoundSource> SoundSource::open(const std::string& path, std::string* error) {
  if (std::string why = notAnInputFile(path); !why.empty()) {
    *error = std::move(why);
    return nullptr;
  }
  auto d = std::make_unique<Impl>();
  d->path = path;
  d->deadline = std::chrono::steady_clock::now() +
                std::chrono::milliseconds(static_cast<int64_t>(kOpenSeconds * 1000));
  AVFormatContext* raw = avformat_alloc_context();
  if (!raw) {
    *error = avErrorText("avformat_alloc_context", AVERROR(ENOMEM));
    return nullptr;
  }
  raw->interrupt_callback.callback = [](void* opaque) {
    return std::chrono::steady_clock::now() > static_cast<Impl*>(opaque)->deadline ? 1 : 0;
  };
  raw->interrupt_callback.opaque = d.get();
  // "file:" keeps a name such as "pipe:0" or "http://…" a file name.
  int r = avformat_open_input(&raw, ("file:" + path).c_str(), nullptr, nullptr);
  if (r < 0) {
    *error = openErrorText("avformat_open_input", r);
    return nullptr;
  }
  d->format.reset(raw);
  if ((r = avformat_find_stream_info(raw, nullptr)) < 0) {
    *error = openErrorText("avformat_find_stream_info", r);
    return nullptr;
  }
  const AVCodec* codec = nullptr;
  d->stream = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  if (d->stream < 0 || !codec) {
    *error = d->stream == AVERROR_DECODER_NOT_FOUND
                 ? "não há decodificador para a sua trilha de áudio"
                 : "não tem trilha de áudio";
    return nullptr;
  }
  if (!d->frame) {
    *error = avErrorText("avcodec_alloc_context3", AVERROR(ENOMEM));
    return nullptr;
  }
  d->decoder = openDecoder(codec, *raw->streams[d->stream], nullptr, error);
  if (!d->decoder) return nullptr;
  d->packets = std::make_unique<StreamDecoder>(raw, d->stream, d->decoder.get());
  if (!d->packets->ready()) {
    *error = avErrorText("avcodec_alloc_context3", AVERROR(ENOMEM));
    return nullptr;
  }
  // A stream that names no layout is taken as its count of channels in the
  // usual order.
  AVChannelLayout inLayout{};
  if (av_channel_layout_check(&d->decoder->ch_layout) &&
      d->decoder->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC)
    av_channel_layout_copy(&inLayout, &d->decoder->ch_layout);
  else
    av_channel_layout_default(&inLayout, std::max(1, d->decoder->ch_layout.nb_channels));
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  SwrContext* swr = nullptr;
  r = swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_FLTP, kSoundRate, &inLayout,
                          d->decoder->sample_fmt, d->decoder->sample_rate, 0, nullptr);
  av_channel_layout_uninit(&inLayout);
  d->resampler.reset(swr);
  if (r < 0 || (r = swr_init(swr)) < 0) {
    *error = avErrorText("swr_init", r);
    return nullptr;
  }
  if (!d->decodeMore()) {
    *error = d->firstError.substr(path.size() + 2);
    return nullptr;
  }
  d->deadline = std::chrono::steady_clock::time_point::max();
  return std::unique_ptr<SoundSource>(new SoundSource(std::move(d)));
}

std::unique_ptr<SoundSource> SoundSource::silence() {
  auto impl = std::make_unique<Impl>();
  impl->silent = true;
  return std::unique_ptr<SoundSource>(new SoundSource(std::move(impl)));
}

bool SoundSource::read(float* left, float* right, int count) {
  Impl& d = *impl_;
  if (d.silent) {
    std::fill_n(left, count, 0.0f);
    std::fill_n(right, count, 0.0f);
    return true;
  }
  while (d.left.size() < static_cast<size_t>(count))
    if (!d.decodeMore()) return false;
  std::copy_n(d.left.begin(), count, left);
  std::copy_n(d.right.begin(), count, right);
  d.left.erase(d.left.begin(), d.left.begin() + count);
  d.right.erase(d.right.begin(), d.right.begin() + count);
  return true;
}

std::string SoundSource::error() const { return impl_->firstError; }

int SoundSource::passes() const { return impl_->passes; }

bool SoundSource::readWhole(std::vector<float>* left) {
  Impl& d = *impl_;
  while (d.passes == 0)
    if (!d.decodeMore()) return false;
  left->assign(d.left.begin(), d.left.begin() + static_cast<ptrdiff_t>(d.firstPass));
  return true;
}

float fadeOutGain(int64_t index, int64_t total, int64_t fade) {
  const int64_t left = total - index;  // samples from this one to the end
  if (fade <= 0 || left > fade) return 1.0f;
  if (left <= 0) return 0.0f;
  return static_cast<float>(left - 1) / static_cast<float>(fade);
}

}  // namespace media
