#include "platform/media/writer/codecs.h"

#include <algorithm>
#include <string>

namespace media {

namespace {

constexpr int kProResQuantiser = 1;
constexpr int kProResHQQuantiser = 4;

void setUpProRes(AVCodecContext* c, Dictionary* options, const VideoInputSettings&, int threads) {
  c->pix_fmt = AV_PIX_FMT_YUVA444P10LE;
  c->profile = FF_PROFILE_PRORES_4444;
  c->codec_tag = MKTAG('a', 'p', '4', 'h');
  // A fixed quantiser of 1 instead of prores_ks's per-slice search: the
  // same stream on camera-like and graphic clips, 3.5 times faster. The
  // encoder sizes each packet for the worst case at that quantiser (every
  // coefficient at its longest code), so no frame overflows, and a slice
  // of 8 macroblocks stays under 17 KB, far below the format's 64 KB.
  c->flags |= AV_CODEC_FLAG_QSCALE;
  c->global_quality = FF_QP2LAMBDA * kProResQuantiser;
  // Alpha comes in as 8 bits; coded as 8 bits it stays exact, and costs a
  // tenth less time and data than 16.
  options->set("alpha_bits", "8");
  options->set("quant_mat", "default");
  options->set("profile", "4444");
  options->set("vendor", kProResVendor);
  // One frame per coder thread; the writer's thread converts the next
  // picture meanwhile.
  c->thread_count = threads;
  c->thread_type = FF_THREAD_FRAME;
}

void setUpProResHQ(AVCodecContext* c, Dictionary* options, const VideoInputSettings&, int threads) {
  // A fixed quantiser of 4, as 4444 has one of its own: recording the
  // sample page at 886 × 1920, prores_ks's own rate control took the run
  // from 24.6 s to 48.1 s for a file 7 % larger, 53 dB from this one; and
  // its aim, the profile's nominal 220 Mbit/s, would not keep 30 s of
  // 886 × 1920 within a store's 500 MB.
  c->pix_fmt = AV_PIX_FMT_YUV422P10LE;
  c->profile = FF_PROFILE_PRORES_HQ;
  c->codec_tag = MKTAG('a', 'p', 'c', 'h');
  c->flags |= AV_CODEC_FLAG_QSCALE;
  c->global_quality = FF_QP2LAMBDA * kProResHQQuantiser;
  options->set("profile", "hq");
  options->set("vendor", kProResVendor);
  c->thread_count = threads;
  c->thread_type = FF_THREAD_FRAME;
}

// A store's limits: the profile, the level and a rate never exceeded.
void setH264Limits(AVCodecContext* c, Dictionary* options, const H264Settings& h) {
  if (!h.profile.empty()) options->set("profile", h.profile);
  // As x264 reads a level of 7 or more: × 10, free of the decimal point
  // that the user's locale may read otherwise.
  if (h.level > 0) options->set("level", std::to_string(h.level));
  if (h.maxBitRate > 0) {
    // A second's worth of buffer: no second of the movie runs over the cap.
    c->rc_max_rate = h.maxBitRate;
    c->rc_buffer_size = static_cast<int>(std::min<int64_t>(h.maxBitRate, INT32_MAX));
  }
}

void setUpH264(AVCodecContext* c, Dictionary* options, const VideoInputSettings& settings,
               int threads) {
  const H264Settings& h = settings.h264;
  // H.264 crops 4:2:0 pictures in 2-pixel steps only, so no 4:2:0 stream
  // can show an odd width or height. Odd sizes go 4:4:4 (High 4:4:4
  // Predictive) rather than being rounded to another size.
  const bool odd = (c->width | c->height) & 1;
  c->pix_fmt = odd ? AV_PIX_FMT_YUV444P : AV_PIX_FMT_YUV420P;
  c->framerate = AVRational{std::max(1, h.expectedFrameRate), 1};
  // x264 counts in kbit/s and refuses 0 in ABR mode.
  c->bit_rate = std::max<int64_t>(h.averageBitRate, 1000);
  c->gop_size = std::max(1, h.maxKeyFrameInterval);
  c->max_b_frames = h.allowFrameReordering ? 2 : 0;
  c->thread_count = threads;
  options->set("preset", h.x264Preset);
  if (settings.expectsMediaDataInRealTime) options->set("tune", "zerolatency");
  setH264Limits(c, options, h);
  // The average bit rate is per second of media time. Left to itself x264
  // (and its zero-latency tune) budgets every frame at the expected rate,
  // so a page captured at 16 frames a second got a quarter of its bits;
  // with variable-rate input its rate control follows the timestamps.
  // Without look-ahead, its default tolerance (1.0) let text-heavy pages
  // run 1.35 times over the average; 0.1 holds them within 1.25 times
  // (bench figures in the README).
  options->set("x264-params", "force-cfr=0:ratetol=0.1");
}

void setUpVp9(AVCodecContext* c, Dictionary* options, const VideoInputSettings& settings,
              int threads) {
  const H264Settings& h = settings.h264;
  // VP9 codes odd sizes in 4:2:0 as they are.
  c->pix_fmt = AV_PIX_FMT_YUV420P;
  const int fps = std::max(1, h.expectedFrameRate);
  c->framerate = AVRational{fps, 1};
  // libvpx takes each frame to last this many ticks of the time base; left
  // at one tick of 1/600 s, it budgeted the first second's frames for 600
  // frames a second and smeared them (25 dB against 35 later).
  c->ticks_per_frame = std::max(1, settings.timescale / fps);
  c->bit_rate = std::max<int64_t>(h.averageBitRate, 1000);
  // Key frames at fixed places, so that the alpha's fall on the colour's.
  c->gop_size = 2 * fps;
  c->keyint_min = c->gop_size;
  c->thread_count = threads;
  // The fastest of libvpx's modes, each row of tiles on a thread of its
  // own: the page's painting needs the rest of the machine.
  options->set("deadline", "realtime");
  options->set("cpu-used", "8");
  options->set("row-mt", "1");
  options->set("lag-in-frames", "0");
}

void setUpLosslessRgb(AVCodecContext* c, Dictionary* options, const VideoInputSettings& settings,
                      int threads) {
  // The frames' own bytes: BGRA read as BGR0, nothing converted.
  c->pix_fmt = AV_PIX_FMT_BGR0;
  c->colorspace = AVCOL_SPC_RGB;
  c->color_range = AVCOL_RANGE_JPEG;
  c->framerate = AVRational{std::max(1, settings.h264.expectedFrameRate), 1};
  c->gop_size = 4 * c->framerate.num;
  c->max_b_frames = 0;
  c->thread_count = threads;
  options->set("preset", "ultrafast");
  options->set("qp", "0");
  options->set("x264-params", "force-cfr=0");
}

// prores_ks rather than prores_aw: at a fixed quantiser it is as fast on two
// cores and 5 to 10 dB better (bench/tessane_bench.sh). A lone ProRes frame
// lasts one tick (one frame when the timescale is the frame rate).
constexpr Codec kCodecs[] = {
    {VideoCodec::kProRes4444, "prores_ks", &setUpProRes, 1},
    {VideoCodec::kProRes422HQ, "prores_ks", &setUpProResHQ, 1},
    {VideoCodec::kH264, "libx264", &setUpH264, 0},
    {VideoCodec::kVp9, "libvpx-vp9", &setUpVp9, 0},
    {VideoCodec::kLosslessRgb, "libx264rgb", &setUpLosslessRgb, 0},
};

}  // namespace

const Codec& codecOf(VideoCodec codec) {
  for (const Codec& c : kCodecs)
    if (c.codec == codec) return c;
  return kCodecs[0];
}

}  // namespace media
