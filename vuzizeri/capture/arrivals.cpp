// Lazy images start loading as the scroll brings them near, and pictures a
// page's own script sets when they come into view start with the picture
// that shows the new position, so the check runs when that picture is there.

#include "vuzizeri/capture/arrivals.h"

#include <string>

#include "vuzizeri/capture/frame_by_frame.h"
#include "vuzizeri/recorder/capture_driver.h"

namespace vuz {

JsonValue arrivalsCheck(bool giveUp) { return JsonValue::object({{"giveUp", giveUp}}); }

void ArrivalWait::check(std::function<void(bool waited)> then) {
  poll(r_.now(), false, false, std::move(then));
}

void ArrivalWait::poll(double since, bool giveUp, bool waited, std::function<void(bool)> then) {
  runFrameScript(r_, JsonValue::object({{"check", arrivalsCheck(giveUp)}}),
                 [this, since, waited,
                  then = std::move(then)](std::optional<web::ScriptValue> answer) mutable {
                   const bool pending = answer && answer->isNumber() && answer->number > 0;
                   if (!pending) {
                     then(waited);
                     return;
                   }
                   // Waiting for the network is progress, not a stall.
                   r_.beat();
                   const bool tooLong = r_.now() - since >= kArrivalWaitSeconds;
                   r_.after(tooLong ? 0 : kArrivalPollSeconds,
                            [this, since, tooLong, then = std::move(then)]() mutable {
                              poll(since, tooLong, true, std::move(then));
                            });
                 });
}

}  // namespace vuz
