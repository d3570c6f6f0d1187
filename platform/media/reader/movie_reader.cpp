#include "platform/media/reader/movie_reader.h"

#include "platform/media/av_error.h"
#include "platform/media/reader/stream_decoder.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace media {

struct MovieReader::Impl {
  InputFormatPtr input;
  CodecContextPtr decoder;
  const AVStream* stream = nullptr;
  std::unique_ptr<StreamDecoder> packets;
  bool strict = false;
  FramePtr frame{av_frame_alloc()};
  FramePtr bgra{av_frame_alloc()};
  SwsPtr toBgra;
  int64_t frames = 0;
  std::string error;

  bool fail(const std::string& why) {
    error = why;
    return false;
  }
  // The next decoded frame into `frame`; false at the end or on an error.
  bool decodeNext();
  // The reader's words for where decoding failed.
  bool failAt(const StreamDecoder::Failure& failure);
  bool damaged(const AVFrame& f) const {
    return strict && (f.decode_error_flags != 0 || (f.flags & AV_FRAME_FLAG_CORRUPT));
  }
};

MovieReader::MovieReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
MovieReader::~MovieReader() = default;

std::unique_ptr<MovieReader> MovieReader::open(const std::string& path, std::string* error) {
  return open(path, Options{}, error);
}

std::unique_ptr<MovieReader> MovieReader::open(const std::string& path, const Options& options,
                                               std::string* error) {
  auto d = std::make_unique<Impl>();
  d->strict = options.strict;
  if (!d->frame || !d->bgra) {
    *error = avErrorText("av_frame_alloc", AVERROR(ENOMEM));
    return nullptr;
  }
  AVFormatContext* raw = nullptr;
  int r = avformat_open_input(&raw, ("file:" + path).c_str(), nullptr, nullptr);
  if (r < 0) {
    *error = avErrorText(r);
    return nullptr;
  }
  d->input.reset(raw);
  if ((r = avformat_find_stream_info(raw, nullptr)) < 0) {
    *error = avErrorText("avformat_find_stream_info", r);
    return nullptr;
  }
  const AVCodec* codec = nullptr;
  const int index = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  if (index < 0) {
    *error = index == AVERROR_DECODER_NOT_FOUND ? "sem decodificador para o vídeo"
                                                : "não tem trilha de vídeo";
    return nullptr;
  }
  d->stream = raw->streams[index];
  for (unsigned i = 0; i < raw->nb_streams; ++i)
    if (static_cast<int>(i) != index) raw->streams[i]->discard = AVDISCARD_ALL;
  // libvpx's VP9 decoder reads the alpha kept beside each frame; FFmpeg's
  // own does not.
  if (codec->id == AV_CODEC_ID_VP9)
    if (const AVCodec* libvpx = avcodec_find_decoder_by_name("libvpx-vp9")) codec = libvpx;
  d->decoder = openDecoder(
      codec, *d->stream,
      [&options, &d](AVCodecContext* c) {
        c->thread_count = options.threads;
        c->pkt_timebase = d->stream->time_base;
        if (options.strict)
          c->err_recognition = AV_EF_CRCCHECK | AV_EF_BITSTREAM | AV_EF_BUFFER | AV_EF_EXPLODE;
      },
      error);
  if (!d->decoder) return nullptr;
  d->packets = std::make_unique<StreamDecoder>(raw, index, d->decoder.get());
  if (!d->packets->ready()) {
    *error = avErrorText("av_frame_alloc", AVERROR(ENOMEM));
    return nullptr;
  }
  d->packets->setStrict(options.strict);
  return std::unique_ptr<MovieReader>(new MovieReader(std::move(d)));
}

bool MovieReader::Impl::decodeNext() {
  switch (packets->next(frame.get())) {
    case StreamDecoder::Step::kFrame:
      if (damaged(*frame))
        return fail("o quadro " + std::to_string(frames + 1) + " está danificado");
      ++frames;
      return true;
    case StreamDecoder::Step::kEnd:
      return false;
    case StreamDecoder::Step::kFailed:
      break;
  }
  return failAt(packets->failure());
}

bool MovieReader::Impl::failAt(const StreamDecoder::Failure& failure) {
  const std::string frame = "o quadro " + std::to_string(frames + 1);
  if (failure.damaged) return fail(frame + " está danificado");
  if (std::string(failure.call) == "av_read_frame")
    return fail(avErrorText(failure.call, failure.code));
  return fail(frame + " não se decodifica (" + avErrorText(failure.code) + ")");
}

void MovieReader::watchPackets(std::function<void(const AVPacket&)> watcher) {
  impl_->packets->watchPackets(std::move(watcher));
  for (unsigned i = 0; i < impl_->input->nb_streams; ++i)
    impl_->input->streams[i]->discard = AVDISCARD_DEFAULT;
}

const AVFormatContext& MovieReader::format() const { return *impl_->input; }
const AVStream& MovieReader::stream() const { return *impl_->stream; }
const AVCodecContext& MovieReader::decoder() const { return *impl_->decoder; }
int MovieReader::width() const { return impl_->decoder->width; }
int MovieReader::height() const { return impl_->decoder->height; }
int64_t MovieReader::framesRead() const { return impl_->frames; }
std::string MovieReader::error() const { return impl_->error; }

double MovieReader::secondsOf(const AVFrame& frame) const {
  return static_cast<double>(frame.best_effort_timestamp) * av_q2d(impl_->stream->time_base);
}

const AVFrame* MovieReader::next() {
  impl_->error.clear();
  return impl_->decodeNext() ? impl_->frame.get() : nullptr;
}

const AVFrame* MovieReader::nextBgra() {
  Impl& d = *impl_;
  const AVFrame* decoded = next();
  if (!decoded) return nullptr;
  AVFrame* bgra = d.bgra.get();
  if (bgra->width != decoded->width || bgra->height != decoded->height) {
    av_frame_unref(bgra);
    bgra->format = AV_PIX_FMT_BGRA;
    bgra->width = decoded->width;
    bgra->height = decoded->height;
    if (av_frame_get_buffer(bgra, 0) < 0) {
      d.fail(avErrorText("av_frame_get_buffer", AVERROR(ENOMEM)));
      return nullptr;
    }
    d.toBgra.reset();
  }
  if (!d.toBgra) {
    d.toBgra.reset(sws_getContext(
        decoded->width, decoded->height, static_cast<AVPixelFormat>(decoded->format),
        decoded->width, decoded->height, AV_PIX_FMT_BGRA,
        SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr));
    if (!d.toBgra) {
      d.fail(avErrorText("sws_getContext", AVERROR(EINVAL)));
      return nullptr;
    }
    const AVPixFmtDescriptor* from =
        av_pix_fmt_desc_get(static_cast<AVPixelFormat>(decoded->format));
    if (from && !(from->flags & AV_PIX_FMT_FLAG_RGB)) {
      const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
      sws_setColorspaceDetails(d.toBgra.get(), bt709, 0, bt709, 1, 0, 1 << 16, 1 << 16);
    }
  }
  if (av_frame_make_writable(bgra) < 0) {
    d.fail(avErrorText("av_frame_make_writable", AVERROR(ENOMEM)));
    return nullptr;
  }
  sws_scale(d.toBgra.get(), decoded->data, decoded->linesize, 0, decoded->height, bgra->data,
            bgra->linesize);
  bgra->pts = decoded->pts;
  bgra->best_effort_timestamp = decoded->best_effort_timestamp;
  return bgra;
}

}  // namespace media
