#pragma once

#include <string>

// The scripts the recorder runs in the page, as exact text.
namespace vuz {

// The page's full height in CSS pixels.
inline constexpr char kHeightScript[] =
    "Math.max(document.body ? document.body.scrollHeight : 0,\n"
    "         document.documentElement ? document.documentElement.scrollHeight : 0)";

// Scrolls from where the page stands to its end at `v` CSS px/s on the page's
// own animation clock; the speed and ")" are appended by scrollScript().
inline constexpr char kScrollScriptPrefix[] =
    "(function (v) {\n"
    "  var s = document.createElement('style');\n"
    "  s.textContent = 'html, body { scroll-behavior: auto !important; }';\n"
    "  document.head.appendChild(s);\n"
    "  var t0 = performance.now();\n"
    "  var de = window.pageYOffset;\n"
    "  (function passo(t) {\n"
    "    var alvo = Math.max(\n"
    "      document.body.scrollHeight,\n"
    "      document.documentElement.scrollHeight) - innerHeight;\n"
    "    var y = de + v * (t - t0) / 1000;\n"
    "    window.scrollTo(0, Math.min(y, alvo));\n"
    "    if (y < alvo) requestAnimationFrame(passo);\n"
    "  })(t0);\n"
    "  return 0;\n"
    "})(";

// [offset, end offset], in CSS pixels.
inline constexpr char kPositionScript[] =
    "[window.pageYOffset, Math.max(document.body.scrollHeight,\n"
    " document.documentElement.scrollHeight) - innerHeight]";

// The shortest text that reads back as `value`, with ".0" on whole numbers:
// 250 → "250.0", 25000/60 → "416.6666666666667".
std::string shortestDecimal(double value);

std::string scrollScript(double velocidade);

}  // namespace vuz
