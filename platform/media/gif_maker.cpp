#include "platform/media/gif_maker.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/media/av_error.h"
#include "platform/media/av_ptr.h"

extern "C" {
#include <libavutil/imgutils.h>
}

namespace media {

namespace {

constexpr int kPaletteSize = 256;

int channel(int colour15, int axis) { return (colour15 >> (10 - 5 * axis)) & 31; }

struct Bin {
  int colour15;
  uint64_t count;
};

// A box of the colour cube: bins [first, end) of the sorted list.
struct Box {
  size_t first, end;
  uint64_t count;
  int longestAxis;
  int range;
};

Box measured(const std::vector<Bin>& bins, size_t first, size_t end) {
  Box box{first, end, 0, 0, 0};
  int low[3] = {31, 31, 31}, high[3] = {0, 0, 0};
  for (size_t i = first; i < end; ++i) {
    box.count += bins[i].count;
    for (int a = 0; a < 3; ++a) {
      low[a] = std::min(low[a], channel(bins[i].colour15, a));
      high[a] = std::max(high[a], channel(bins[i].colour15, a));
    }
  }
  for (int a = 0; a < 3; ++a)
    if (high[a] - low[a] > box.range) {
      box.range = high[a] - low[a];
      box.longestAxis = a;
    }
  return box;
}

// 8 × 8 Bayer thresholds, centred on 0, at about a palette step's amplitude.
constexpr std::array<int, 64> kBayer = {
    0,  32, 8,  40, 2,  34, 10, 42, 48, 16, 56, 24, 50, 18, 58, 26, 12, 44, 4,  36, 14, 46,
    6,  38, 60, 28, 52, 20, 62, 30, 54, 22, 3,  35, 11, 43, 1,  33, 9,  41, 51, 19, 59, 27,
    49, 17, 57, 25, 15, 47, 7,  39, 13, 45, 5,  37, 63, 31, 55, 23, 61, 29, 53, 21};
constexpr int kDitherAmplitude = 12;

uint8_t dithered(int value, int threshold) {
  return static_cast<uint8_t>(std::clamp(value + (threshold - 32) * kDitherAmplitude / 64, 0, 255));
}

}  // namespace

void PaletteCounter::count(const uint8_t* bgra, ptrdiff_t stride, int width, int height, int step) {
  for (int y = 0; y < height; y += step) {
    const uint8_t* row = bgra + y * stride;
    for (int x = 0; x < width; x += step) {
      const uint8_t* p = row + 4 * x;
      ++counts_[(p[2] >> 3) << 10 | (p[1] >> 3) << 5 | p[0] >> 3];
    }
  }
}

std::vector<uint32_t> PaletteCounter::palette() const {
  std::vector<Bin> bins;
  for (int c = 0; c < 1 << 15; ++c)
    if (counts_[c]) bins.push_back({c, counts_[c]});
  if (bins.empty()) return {0};
  std::vector<Box> boxes = {measured(bins, 0, bins.size())};
  while (boxes.size() < kPaletteSize) {
    // The box to split: the most pixels times its widest spread.
    auto widest = std::max_element(boxes.begin(), boxes.end(), [](const Box& a, const Box& b) {
      return a.count * static_cast<uint64_t>(a.range) < b.count * static_cast<uint64_t>(b.range);
    });
    if (widest->range == 0) break;
    const Box box = *widest;
    const int axis = box.longestAxis;
    std::sort(bins.begin() + static_cast<ptrdiff_t>(box.first),
              bins.begin() + static_cast<ptrdiff_t>(box.end), [axis](const Bin& a, const Bin& b) {
                return channel(a.colour15, axis) < channel(b.colour15, axis);
              });
    // At the median pixel, leaving at least one bin on each side.
    size_t split = box.first + 1;
    for (uint64_t seen = bins[box.first].count; split < box.end - 1 && seen * 2 < box.count;
         ++split)
      seen += bins[split].count;
    *widest = measured(bins, box.first, split);
    boxes.push_back(measured(bins, split, box.end));
  }
  std::vector<uint32_t> colours;
  for (const Box& box : boxes) {
    uint64_t sum[3] = {0, 0, 0};
    for (size_t i = box.first; i < box.end; ++i)
      for (int a = 0; a < 3; ++a)
        sum[a] += bins[i].count * static_cast<uint64_t>(channel(bins[i].colour15, a) * 8 + 4);
    uint32_t rgb = 0;
    for (int a = 0; a < 3; ++a)
      rgb = rgb << 8 | static_cast<uint32_t>(std::min<uint64_t>(255, sum[a] / box.count));
    colours.push_back(rgb);
  }
  return colours;
}

bool writeGif(const std::string& movie, const std::string& gif,
              const std::vector<uint32_t>& palette, std::string* error) {
  auto failed = [error](const char* call, int code) {
    *error = avErrorText(call, code);
    return false;
  };
  AVFormatContext* rawInput = nullptr;
  int r = avformat_open_input(&rawInput, ("file:" + movie).c_str(), nullptr, nullptr);
  if (r < 0) return failed("avformat_open_input", r);
  InputFormatPtr input(rawInput);
  if ((r = avformat_find_stream_info(rawInput, nullptr)) < 0)
    return failed("avformat_find_stream_info", r);
  const AVCodec* decoder = nullptr;
  const int index = av_find_best_stream(rawInput, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
  if (index < 0) return failed("av_find_best_stream", index);
  const AVStream* in = rawInput->streams[index];
  CodecContextPtr decoding(avcodec_alloc_context3(decoder));
  if (!decoding) return failed("avcodec_alloc_context3", AVERROR(ENOMEM));
  if ((r = avcodec_parameters_to_context(decoding.get(), in->codecpar)) < 0)
    return failed("avcodec_parameters_to_context", r);
  if ((r = avcodec_open2(decoding.get(), decoder, nullptr)) < 0) return failed("avcodec_open2", r);
  const int width = decoding->width, height = decoding->height;

  AVFormatContext* rawOutput = nullptr;
  if ((r = avformat_alloc_output_context2(&rawOutput, nullptr, "gif", gif.c_str())) < 0)
    return failed("avformat_alloc_output_context2", r);
  OutputFormatPtr output(rawOutput);
  const AVCodec* gifCodec = avcodec_find_encoder(AV_CODEC_ID_GIF);
  if (!gifCodec) return failed("avcodec_find_encoder", AVERROR_ENCODER_NOT_FOUND);
  CodecContextPtr encoding(avcodec_alloc_context3(gifCodec));
  AVStream* out = avformat_new_stream(rawOutput, nullptr);
  if (!encoding || !out) return failed("avformat_new_stream", AVERROR(ENOMEM));
  encoding->width = width;
  encoding->height = height;
  encoding->pix_fmt = AV_PIX_FMT_PAL8;
  encoding->time_base = AVRational{1, 100};  // a GIF's delays are in hundredths
  if ((r = avcodec_open2(encoding.get(), gifCodec, nullptr)) < 0) return failed("avcodec_open2", r);
  if ((r = avcodec_parameters_from_context(out->codecpar, encoding.get())) < 0)
    return failed("avcodec_parameters_from_context", r);
  out->time_base = encoding->time_base;
  if ((r = avio_open(&rawOutput->pb, ("file:" + gif).c_str(), AVIO_FLAG_WRITE)) < 0)
    return failed("avio_open", r);
  if ((r = avformat_write_header(rawOutput, nullptr)) < 0)
    return failed("avformat_write_header", r);

  // Each 15-bit colour's nearest palette entry, found once.
  std::vector<uint8_t> nearest(1 << 15);
  for (int c = 0; c < 1 << 15; ++c) {
    int best = 0, bestDistance = INT32_MAX;
    for (size_t i = 0; i < palette.size(); ++i) {
      int distance = 0;
      for (int a = 0; a < 3; ++a) {
        const int d = channel(c, a) * 8 + 4 - static_cast<int>(palette[i] >> (16 - 8 * a) & 255);
        distance += d * d;
      }
      if (distance < bestDistance) {
        bestDistance = distance;
        best = static_cast<int>(i);
      }
    }
    nearest[c] = static_cast<uint8_t>(best);
  }

  SwsPtr toBgra;
  FramePtr decoded(av_frame_alloc()), bgra(av_frame_alloc()), indexed(av_frame_alloc());
  PacketPtr packet(av_packet_alloc()), coded(av_packet_alloc());
  if (!decoded || !bgra || !indexed || !packet || !coded)
    return failed("av_frame_alloc", AVERROR(ENOMEM));
  bgra->format = AV_PIX_FMT_BGRA;
  indexed->format = AV_PIX_FMT_PAL8;
  for (AVFrame* f : {bgra.get(), indexed.get()}) {
    f->width = width;
    f->height = height;
    if ((r = av_frame_get_buffer(f, 0)) < 0) return failed("av_frame_get_buffer", r);
  }
  uint32_t* entries = reinterpret_cast<uint32_t*>(indexed->data[1]);
  for (int i = 0; i < kPaletteSize; ++i)
    entries[i] = 0xff000000u | (i < static_cast<int>(palette.size()) ? palette[i] : 0);

  auto writeCoded = [&]() {
    for (;;) {
      r = avcodec_receive_packet(encoding.get(), coded.get());
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
      if (r < 0) return failed("avcodec_receive_packet", r);
      coded->stream_index = 0;
      av_packet_rescale_ts(coded.get(), encoding->time_base, out->time_base);
      r = av_write_frame(rawOutput, coded.get());
      av_packet_unref(coded.get());
      if (r < 0) return failed("av_write_frame", r);
    }
  };
  int64_t lastPts = -1;
  auto encodeDecoded = [&]() {
    for (;;) {
      r = avcodec_receive_frame(decoding.get(), decoded.get());
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
      if (r < 0) return failed("avcodec_receive_frame", r);
      if (!toBgra) {
        toBgra.reset(sws_getContext(width, height, static_cast<AVPixelFormat>(decoded->format),
                                    width, height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr,
                                    nullptr));
        if (!toBgra) return failed("sws_getContext", AVERROR(EINVAL));
        const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(toBgra.get(), bt709, 0, bt709, 1, 0, 1 << 16, 1 << 16);
      }
      if ((r = av_frame_make_writable(indexed.get())) < 0)
        return failed("av_frame_make_writable", r);
      sws_scale(toBgra.get(), decoded->data, decoded->linesize, 0, height, bgra->data,
                bgra->linesize);
      for (int y = 0; y < height; ++y) {
        const uint8_t* p = bgra->data[0] + y * bgra->linesize[0];
        uint8_t* q = indexed->data[0] + y * indexed->linesize[0];
        for (int x = 0; x < width; ++x, p += 4) {
          const int t = kBayer[(y & 7) * 8 + (x & 7)];
          q[x] = nearest[(dithered(p[2], t) >> 3) << 10 | (dithered(p[1], t) >> 3) << 5 |
                         dithered(p[0], t) >> 3];
        }
      }
      // Hundredths, each frame at least one on from the one before.
      int64_t pts =
          av_rescale_q(decoded->best_effort_timestamp, in->time_base, encoding->time_base);
      pts = std::max(pts, lastPts + 1);
      lastPts = pts;
      indexed->pts = pts;
      av_frame_unref(decoded.get());
      if ((r = avcodec_send_frame(encoding.get(), indexed.get())) < 0)
        return failed("avcodec_send_frame", r);
      if (!writeCoded()) return false;
    }
  };
  while ((r = av_read_frame(rawInput, packet.get())) >= 0) {
    const bool ours = packet->stream_index == index;
    if (ours) r = avcodec_send_packet(decoding.get(), packet.get());
    av_packet_unref(packet.get());
    if (ours && r < 0) return failed("avcodec_send_packet", r);
    if (ours && !encodeDecoded()) return false;
  }
  if (r != AVERROR_EOF) return failed("av_read_frame", r);
  if ((r = avcodec_send_packet(decoding.get(), nullptr)) < 0)
    return failed("avcodec_send_packet", r);
  if (!encodeDecoded()) return false;
  if ((r = avcodec_send_frame(encoding.get(), nullptr)) < 0) return failed("avcodec_send_frame", r);
  if (!writeCoded()) return false;
  if ((r = av_write_trailer(rawOutput)) < 0) return failed("av_write_trailer", r);
  if ((r = avio_closep(&rawOutput->pb)) < 0) return failed("avio_closep", r);
  return true;
}

}  // namespace media
