// Lazy images start loading as the scroll brings them near, and pictures a
// page's own script sets when they come into view start with the picture
// that shows the new position, so the check runs when that picture is there.

#include "vuzizeri/recorder/capture/arrivals.h"

#include <string>

#include "vuzizeri/recorder/capture/frame_by_frame.h"
#include "vuzizeri/recorder/recorder.h"

namespace vuz {

namespace {

// In the recorder's script world. Background images are looked up through
// images of their own, which the engine serves from its cache once the
// page's have arrived. The elements with one are found with the still parts
// (see the step script).
constexpr char kArrivalsPrefix[] =
    "(function (giveUp) {\n"
    "  var w = window, d = document, h = innerHeight, v = innerWidth;\n"
    "  var gone = w.desistidos || (w.desistidos = new Set());\n"
    "  var fundos = w.imagensDeFundo || (w.imagensDeFundo = new Map());\n"
    "  var inView = function (el) {\n"
    "    var r = el.getBoundingClientRect();\n"
    "    return r.width > 0 && r.height > 0 && r.bottom > 0 && r.top < h && r.right > 0 && r.left < v;\n"
    "  };\n"
    "  var pending = [];\n"
    "  Array.prototype.forEach.call(d.images, function (img) {\n"
    "    if (!img.complete && !gone.has(img) && inView(img)) pending.push(img);\n"
    "  });\n"
    "  (w.comFundo || []).forEach(function (el) {\n"
    "    if (!el.isConnected || !inView(el)) return;\n"
    "    var urls = getComputedStyle(el).backgroundImage.match(/url\\(\"[^\"]*\"\\)|url\\([^)]*\\)/g) || [];\n"
    "    urls.forEach(function (u) {\n"
    "      u = u.slice(4, -1).replace(/^\"|\"$/g, '');\n"
    "      if (!fundos.has(u)) { var img = new Image(); img.src = u; fundos.set(u, img); }\n"
    "      var img = fundos.get(u);\n"
    "      if (!img.complete && !gone.has(img)) pending.push(img);\n"
    "    });\n"
    "  });\n"
    "  if (d.fonts && d.fonts.status == 'loading' && !gone.has(d.fonts)) pending.push(d.fonts);\n"
    "  if (giveUp) pending.forEach(function (p) { gone.add(p); });\n"
    "  return giveUp ? 0 : pending.length;\n"
    "})(";

}  // namespace

std::string arrivalsScript(bool giveUp) {
  return kArrivalsPrefix + std::string(giveUp ? "true" : "false") + ")";
}

void ArrivalWait::check(std::function<void(bool waited)> then) {
  poll(r_.platform().now(), false, false, std::move(then));
}

void ArrivalWait::poll(double since, bool giveUp, bool waited, std::function<void(bool)> then) {
  r_.platform().web->evaluateInOwnWorld(
      arrivalsScript(giveUp),
      [this, since, waited, then = std::move(then)](std::optional<web::ScriptValue> answer) mutable {
        const bool pending = answer && answer->isNumber() && answer->number > 0;
        if (!pending) {
          then(waited);
          return;
        }
        // Waiting for the network is progress, not a stall.
        r_.beat();
        const bool tooLong = r_.platform().now() - since >= kArrivalWaitSeconds;
        r_.platform().asyncAfter(tooLong ? 0 : kArrivalPollSeconds,
                                 [this, since, tooLong, then = std::move(then)]() mutable {
                                   poll(since, tooLong, true, std::move(then));
                                 });
      });
}

}  // namespace vuz
