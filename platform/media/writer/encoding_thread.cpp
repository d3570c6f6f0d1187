#include "platform/media/writer/encoding_thread.h"

#include <system_error>

#include "platform/media/thread_budget.h"

namespace media {

EncodingThread::~EncodingThread() {
  {
    std::lock_guard lock(mutex_);
    stopRequested_ = true;
  }
  changed_.notify_all();
  if (!worker_.joinable()) return;
  if (worker_.get_id() == std::this_thread::get_id()) {
    worker_.detach();  // destroyed from its own completion
  } else {
    worker_.join();
  }
}

bool EncodingThread::fail(const std::string& reason) {
  {
    std::lock_guard lock(mutex_);
    if (firstError_.empty()) firstError_ = reason;
    status_ = WriterStatus::kFailed;
  }
  changed_.notify_all();
  return false;
}

std::string EncodingThread::error() const {
  std::lock_guard lock(mutex_);
  return firstError_;
}

bool EncodingThread::start(std::function<void(Job&)> encode, std::function<void()> finish) {
  encode_ = std::move(encode);
  finish_ = std::move(finish);
  try {
    worker_ = std::thread([this] { run(); });
  } catch (const std::system_error& e) {
    return fail(e.code().message());
  }
  return true;
}

bool EncodingThread::ready() const {
  std::lock_guard lock(mutex_);
  return status_ == WriterStatus::kFailed || queue_.size() < kQueueCapacity;
}

bool EncodingThread::push(Job job) {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(
        lock, [&] { return queue_.size() < kQueueCapacity || status_ == WriterStatus::kFailed; });
    if (status_ == WriterStatus::kFailed) return false;
    queue_.push_back(std::move(job));
  }
  changed_.notify_all();
  return true;
}

void EncodingThread::finish(std::function<void()> completion) {
  {
    std::lock_guard lock(mutex_);
    if (finishRequested_) return;
    finishRequested_ = true;
    completion_ = std::move(completion);
  }
  changed_.notify_all();
  if (!worker_.joinable()) {
    // Never started: there is nothing to finish, but the completion still
    // comes from a thread of the writer's.
    fail("the writer was not started");
    worker_ = std::thread([this] { complete(); });
  }
}

void EncodingThread::run() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stopRequested_ || finishRequested_ || !queue_.empty(); });
      if (stopRequested_) return;
      if (queue_.empty()) break;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    changed_.notify_all();
    if (status_ == WriterStatus::kFailed) continue;
    encode_(job);
  }
  finish_();
  complete();
}

void EncodingThread::complete() {
  std::function<void()> done;
  {
    std::lock_guard lock(mutex_);
    done = std::move(completion_);
  }
  if (done) done();
}

}  // namespace media
