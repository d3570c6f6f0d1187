// Frame by frame, a frame is taken once what it shows has arrived: the
// images, background images and web fonts in view, loaded or failed. Lazy
// images start loading as the scroll brings them near, and pictures a page's
// own script sets when they come into view start with the picture that
// shows the new position, so the check runs when that picture is there.
// Something that never arrives holds one frame for a few seconds, and is
// then given up for the rest of the run.

#include <string>

#include "vuzizeri/frame_by_frame.h"
#include "vuzizeri/recorder.h"

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

void Vuzizeri::checkArrivals(double since, bool giveUp) {
  platform_.web->evaluateInOwnWorld(
      kArrivalsPrefix + std::string(giveUp ? "true" : "false") + ")",
      [this, since](std::optional<web::ScriptValue> answer) {
        const bool pending = answer && answer->isNumber() && answer->number > 0;
        if (!pending) {
          if (!waitedForArrivals_) {
            snapshotStep();
            return;
          }
          // What arrived shows in the next picture.
          waitedForArrivals_ = false;
          awaitPicture(kArrivedFrameWait);
          return;
        }
        // Waiting for the network is progress, not a stall.
        beat();
        waitedForArrivals_ = true;
        const bool tooLong = platform_.now() - since >= kArrivalWaitSeconds;
        platform_.asyncAfter(tooLong ? 0 : kArrivalPollSeconds,
                             [this, since, tooLong] { checkArrivals(since, tooLong); });
      });
}

}  // namespace vuz
