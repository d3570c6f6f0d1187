#include "platform/media/held_packet.h"

namespace media {

bool HeldPacket::push(AVPacket* next, const Write& write) {
  if (holding_) {
    interval_ = next->dts - held_->dts;
    if (!writeHeld(interval_, write)) {
      av_packet_unref(next);
      return false;
    }
  }
  av_packet_move_ref(held_.get(), next);
  holding_ = true;
  return true;
}

bool HeldPacket::flush(int64_t lone, const Write& write) {
  return !holding_ || writeHeld(interval_ > 0 ? interval_ : lone, write);
}

bool HeldPacket::writeHeld(int64_t duration, const Write& write) {
  holding_ = false;
  held_->duration = duration;
  return write(held_.get());
}

}  // namespace media
