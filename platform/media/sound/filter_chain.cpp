#include "platform/media/sound/filter_chain.h"

#include <algorithm>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
}

#include "platform/media/av_error.h"
#include "platform/media/reader/sound_source.h"

namespace media {

namespace {

struct GraphFree {
  void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }
};
struct InOutFree {
  void operator()(AVFilterInOut* io) const { avfilter_inout_free(&io); }
};
using InOutPtr = std::unique_ptr<AVFilterInOut, InOutFree>;

// A named end of the chain for avfilter_graph_parse_ptr.
InOutPtr endNamed(const char* name, AVFilterContext* filter) {
  InOutPtr io(avfilter_inout_alloc());
  if (!io) return nullptr;
  io->name = av_strdup(name);
  io->filter_ctx = filter;
  return io;
}

}  // namespace

struct FilterChain::Impl {
  std::unique_ptr<AVFilterGraph, GraphFree> graph{avfilter_graph_alloc()};
  AVFilterContext* source = nullptr;
  AVFilterContext* sink = nullptr;
  FramePtr in{av_frame_alloc()};
  FramePtr out{av_frame_alloc()};
  int64_t pushed = 0;  // samples so far, the next frame's time
};

FilterChain::FilterChain(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
FilterChain::~FilterChain() = default;

bool FilterChain::fail(const char* call, int code) {
  if (error_.empty()) error_ = avErrorText(call, code);
  return false;
}

std::unique_ptr<FilterChain> FilterChain::create(const std::string& filters, std::string* error) {
  auto d = std::make_unique<Impl>();
  std::unique_ptr<FilterChain> chain(new FilterChain(std::move(d)));
  Impl& c = *chain->impl_;
  auto failed = [&](const char* call, int code) {
    *error = avErrorText(call, code);
    return nullptr;
  };
  if (!c.graph || !c.in || !c.out) return failed("avfilter_graph_alloc", AVERROR(ENOMEM));
  // One thread: the chain runs on the encoder's, beside the video's.
  c.graph->nb_threads = 1;
  const std::string source = "time_base=1/" + std::to_string(kSoundRate) +
                             ":sample_rate=" + std::to_string(kSoundRate) +
                             ":sample_fmt=fltp:channel_layout=stereo";
  int r = avfilter_graph_create_filter(&c.source, avfilter_get_by_name("abuffer"), "in",
                                       source.c_str(), nullptr, c.graph.get());
  if (r < 0) return failed("abuffer", r);
  r = avfilter_graph_create_filter(&c.sink, avfilter_get_by_name("abuffersink"), "out", nullptr,
                                   nullptr, c.graph.get());
  if (r < 0) return failed("abuffersink", r);
  // Back to the format that went in, whatever the filters work in.
  const std::string all = filters +
                          ",aformat=sample_fmts=fltp:sample_rates=" + std::to_string(kSoundRate) +
                          ":channel_layouts=stereo";
  InOutPtr outputs = endNamed("in", c.source), inputs = endNamed("out", c.sink);
  if (!outputs || !inputs) return failed("avfilter_inout_alloc", AVERROR(ENOMEM));
  AVFilterInOut* ins = inputs.release();
  AVFilterInOut* outs = outputs.release();
  r = avfilter_graph_parse_ptr(c.graph.get(), all.c_str(), &ins, &outs, nullptr);
  avfilter_inout_free(&ins);
  avfilter_inout_free(&outs);
  if (r < 0) return failed("avfilter_graph_parse_ptr", r);
  if ((r = avfilter_graph_config(c.graph.get(), nullptr)) < 0)
    return failed("avfilter_graph_config", r);
  return chain;
}

bool FilterChain::push(const float* left, const float* right, int count,
                       const std::function<void(const AVFrame&)>& take) {
  Impl& c = *impl_;
  int r = 0;
  if (left) {
    AVFrame* f = c.in.get();
    av_frame_unref(f);
    f->format = AV_SAMPLE_FMT_FLTP;
    f->sample_rate = kSoundRate;
    f->nb_samples = count;
    const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    av_channel_layout_copy(&f->ch_layout, &stereo);
    if ((r = av_frame_get_buffer(f, 0)) < 0) return fail("av_frame_get_buffer", r);
    std::copy_n(left, count, reinterpret_cast<float*>(f->data[0]));
    std::copy_n(right, count, reinterpret_cast<float*>(f->data[1]));
    f->pts = c.pushed;
    c.pushed += count;
    r = av_buffersrc_add_frame(c.source, f);
  } else {
    r = av_buffersrc_add_frame(c.source, nullptr);
  }
  if (r < 0) return fail("av_buffersrc_add_frame", r);
  while ((r = av_buffersink_get_frame(c.sink, c.out.get())) >= 0) {
    take(*c.out);
    av_frame_unref(c.out.get());
  }
  return r == AVERROR(EAGAIN) || r == AVERROR_EOF || fail("av_buffersink_get_frame", r);
}

}  // namespace media
