#pragma once

#include <cstdint>
#include <functional>

#include "platform/media/av_ptr.h"

namespace media {

// A track's packets written one behind: each is held until the next one's
// decoding time gives its duration, so that a frame lasts until the next
// begins, whatever rate the frames came at. The last lasts as long as the
// interval before it.
class HeldPacket {
 public:
  // Writes a packet whose duration is set, and unreferences it; false when
  // that failed.
  using Write = std::function<bool(AVPacket*)>;

  HeldPacket() : held_(av_packet_alloc()) {}
  // False when there was no memory for it.
  explicit operator bool() const { return held_ != nullptr; }

  // Takes `next` over (leaving it blank), the packet held before it written
  // first.
  bool push(AVPacket* next, const Write& write);
  // Writes the held packet, if any, lasting as long as the interval before
  // it, or `lone` when it was the only one.
  bool flush(int64_t lone, const Write& write);

  // The packet held, or nullptr.
  const AVPacket* held() const { return holding_ ? held_.get() : nullptr; }
  // The last interval between two packets; 0 before the second.
  int64_t interval() const { return interval_; }

 private:
  bool writeHeld(int64_t duration, const Write& write);

  PacketPtr held_;
  bool holding_ = false;
  int64_t interval_ = 0;
};

}  // namespace media
