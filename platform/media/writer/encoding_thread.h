#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/media/pixel_buffer.h"
#include "platform/media/writer/video_writer.h"

namespace media {

// A frame waiting for the encoder, at its time in the track's timescale.
struct Job {
  PixelBufferHandle buffer;
  int64_t pts = 0;
};

// The writer's own thread and the small bounded queue that feeds it, with
// the writer's status and first failure, which both threads read.
class EncodingThread {
 public:
  EncodingThread() = default;
  // Stops the thread; the file is left as it is.
  ~EncodingThread();
  EncodingThread(const EncodingThread&) = delete;
  EncodingThread& operator=(const EncodingThread&) = delete;

  // Keeps the first reason, marks the writer failed and returns false.
  bool fail(const std::string& reason);
  WriterStatus status() const { return status_; }
  void setStatus(WriterStatus status) { status_ = status; }
  std::string error() const;

  // Starts the thread: each queued job goes to `encode`, and once asked to
  // finish, `finish` runs, then the completion. False when no thread starts.
  bool start(std::function<void(Job&)> encode, std::function<void()> finish);
  // True while the queue has room, or once the writer has failed.
  bool ready() const;
  // Queues `job`, waiting for room; false once the writer has failed.
  bool push(Job job);
  // Asks for the finish; `completion` runs on the writer's thread after it.
  void finish(std::function<void()> completion);

 private:
  void run();
  void complete();

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> queue_;
  bool finishRequested_ = false;
  bool stopRequested_ = false;
  std::function<void(Job&)> encode_;
  std::function<void()> finish_;
  std::function<void()> completion_;
  std::string firstError_;
  std::atomic<WriterStatus> status_{WriterStatus::kUnknown};
  std::thread worker_;
};

}  // namespace media
