#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "platform/media/av_ptr.h"

namespace media {

// A chain of FFmpeg's audio filters (libavfilter's text form, e.g.
// "alimiter=limit=0.5") between stereo planar float at kSoundRate going in
// and coming out. Used from one thread.
class FilterChain {
 public:
  // nullptr, with the reason in `error`, when the text names no chain the
  // library can build.
  static std::unique_ptr<FilterChain> create(const std::string& filters, std::string* error);
  ~FilterChain();
  FilterChain(const FilterChain&) = delete;
  FilterChain& operator=(const FilterChain&) = delete;

  // `count` samples in (nullptr: the end), then every frame the chain gives
  // back, handed to `take`.
  bool push(const float* left, const float* right, int count,
            const std::function<void(const AVFrame&)>& take);
  std::string error() const { return error_; }

 private:
  struct Impl;
  explicit FilterChain(std::unique_ptr<Impl> impl);
  bool fail(const char* call, int code);
  std::unique_ptr<Impl> impl_;
  std::string error_;
};

}  // namespace media
