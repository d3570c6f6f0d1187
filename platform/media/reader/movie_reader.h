#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/media/av_ptr.h"

namespace media {

// A movie's video read back frame by frame, as a player decodes it: the
// first video track, its frames in presentation order, each with its time.
// The one reader of the programs, the tests and the benchmarks.
class MovieReader {
 public:
  struct Options {
    // A damaged frame is an error, where a player would conceal it.
    bool strict = false;
    // Decoding threads; 0 for as many as the machine has.
    int threads = 0;
  };

  // nullptr, with the reason in `error`, when `path` cannot be opened as a
  // movie with a video track that can be decoded. The name is always a
  // file's, never a URL or another protocol.
  static std::unique_ptr<MovieReader> open(const std::string& path, std::string* error);
  static std::unique_ptr<MovieReader> open(const std::string& path, const Options& options,
                                           std::string* error);
  ~MovieReader();
  MovieReader(const MovieReader&) = delete;
  MovieReader& operator=(const MovieReader&) = delete;

  // Every packet read, of every stream, before it is decoded: the video's
  // for what only packets tell (key frames, sizes, order in the file), the
  // others' (sound) to be decoded by the watcher. Before the first next().
  void watchPackets(std::function<void(const AVPacket& packet)> watcher);

  const AVFormatContext& format() const;
  const AVStream& stream() const;
  const AVCodecContext& decoder() const;
  int width() const;
  int height() const;

  // The next frame as decoded (its own pixel format), valid until the next
  // call; nullptr at the end or on an error (error() then says which).
  const AVFrame* next();
  // The same converted to BGRA, straight alpha (opaque without one), BT.709
  // limited range as the writers make it.
  const AVFrame* nextBgra();
  // A frame's time in seconds.
  double secondsOf(const AVFrame& frame) const;
  // Frames given so far.
  int64_t framesRead() const;
  // Why the last next() gave nothing; empty at the clean end of the movie.
  std::string error() const;

 private:
  struct Impl;
  explicit MovieReader(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace media
