// --pre-carregar: real time cannot wait for a picture, so the page is
// scrolled through before the three-second wait, one screen at a time to
// its end as it stands then, until the network is quiet, and put back at
// its top. A page that reveals its content as it scrolls into view then
// shows it already revealed.

#include "vuzizeri/recorder/page_scripts.h"
#include "vuzizeri/recorder/recorder.h"

namespace vuz {

namespace {

constexpr double kScreenStepSeconds = 0.1;  // for lazy loads and observers to start
constexpr double kQuietSeconds = 0.5;       // no new request for this long
constexpr double kQuietPollSeconds = 0.1;
constexpr double kNetworkWaitSeconds = 10;  // at most

}  // namespace

void Vuzizeri::preload(std::function<void()> then) {
  if (!args.preload) {
    then();
    return;
  }
  preloadStep(1, std::move(then));
}

void Vuzizeri::preloadStep(int64_t screen, std::function<void()> then) {
  runScript(kPreloadScreenScript, JsonValue::object({{"screen", screen}}),
            [this, screen, then = std::move(then)](std::optional<web::ScriptValue> more) mutable {
              beat();
              if (more && more->isTrue()) {
                platform_.asyncAfter(kScreenStepSeconds,
                                     [this, screen, then = std::move(then)]() mutable {
                                       preloadStep(screen + 1, std::move(then));
                                     });
                return;
              }
              const double now = platform_.now();
              awaitQuietNetwork(now + kNetworkWaitSeconds, now, -1, std::move(then));
            });
}

void Vuzizeri::awaitQuietNetwork(double deadline, double quietSince, double resources,
                                 std::function<void()> then) {
  runScript(kNetworkScript, JsonValue::object({}),
            [this, deadline, quietSince, resources,
             then = std::move(then)](std::optional<web::ScriptValue> answer) mutable {
              const double now = platform_.now();
              double count = resources;
              bool loading = false;
              if (answer && answer->isArray() && answer->elements.size() == 2 &&
                  answer->elements[0].isNumber() && answer->elements[1].isNumber()) {
                count = answer->elements[0].number;
                loading = answer->elements[1].number > 0;
              }
              if (count != resources || loading) quietSince = now;
              if (now - quietSince >= kQuietSeconds || now >= deadline) {
                runScript(kGoToScript, JsonValue::object({{"offset", 0}}),
                          [then = std::move(then)](auto) { then(); });
                return;
              }
              beat();
              platform_.asyncAfter(kQuietPollSeconds, [this, deadline, quietSince, count,
                                                       then = std::move(then)]() mutable {
                awaitQuietNetwork(deadline, quietSince, count, std::move(then));
              });
            });
}

}  // namespace vuz
