#include "vuzizeri/recorder/directing.h"

#include <algorithm>
#include <cmath>

#include "vuzizeri/recorder/json.h"
#include "vuzizeri/recorder/page_shaping.h"
#include "vuzizeri/recorder/scripts.h"

namespace vuz {

namespace {

// Where each selector's top sits in PlanMarks::tops: --de, --ate, then each
// --pausa, as planSelectors() lists them.
struct MarkIndex {
  std::optional<size_t> from;
  std::optional<size_t> to;
  size_t firstPause = 0;
};

MarkIndex markIndex(const Arguments& a) {
  MarkIndex index;
  if (!a.from.empty()) index.from = index.firstPause++;
  if (!a.to.empty()) index.to = index.firstPause++;
  return index;
}

std::optional<double> markAt(const PlanMarks& marks, std::optional<size_t> i) {
  return i && *i < marks.tops.size() ? marks.tops[*i] : std::nullopt;
}

// An element's top as an offset the page can scroll to.
double reachable(double top, const PlanMarks& marks) {
  return std::clamp(top, 0.0, marks.pageEnd);
}

}  // namespace

std::vector<std::string> planSelectors(const Arguments& a) {
  std::vector<std::string> selectors;
  if (!a.from.empty()) selectors.push_back(a.from);
  if (!a.to.empty()) selectors.push_back(a.to);
  for (const Arguments::Pause& p : a.pauses) selectors.push_back(p.selector);
  return selectors;
}

std::string planMarksScript(const std::vector<std::string>& selectors) {
  std::string list;
  for (const std::string& s : selectors) list += (list.empty() ? "" : ", ") + jsonString(s);
  return "(function (ss) {\n"
         "  var d = document, b = d.body, e = d.documentElement;\n"
         "  return [pageYOffset,\n"
         "          Math.max(b ? b.scrollHeight : 0, e ? e.scrollHeight : 0) - innerHeight,\n"
         "          ss.map(function (s) {\n"
         "            var el = d.querySelector(s);\n"
         "            if (!el) return null;\n"
         "            if (!el.getClientRects().length) return false;\n"
         "            return el.getBoundingClientRect().top + pageYOffset;\n"
         "          })];\n"
         "})([" +
         list + "])";
}

std::optional<PlanMarks> readPlanMarks(const std::optional<web::ScriptValue>& answer,
                                       size_t selectors) {
  if (!answer || !answer->isArray() || answer->elements.size() != 3) return std::nullopt;
  const auto& e = answer->elements;
  if (!e[0].isNumber() || !e[1].isNumber() || !std::isfinite(e[0].number) ||
      !std::isfinite(e[1].number) || !e[2].isArray() || e[2].elements.size() != selectors)
    return std::nullopt;
  PlanMarks marks{e[0].number, std::max(0.0, e[1].number), {}, {}};
  for (const web::ScriptValue& top : e[2].elements) {
    marks.tops.push_back(top.isNumber() && std::isfinite(top.number) ? std::optional(top.number)
                                                                     : std::nullopt);
    marks.boxless.push_back(top.kind == web::ScriptValue::Kind::kBoolean);
  }
  return marks;
}

std::string unmatchedSelector(const Arguments& a, const PlanMarks& marks) {
  const MarkIndex index = markIndex(a);
  const std::vector<std::string> selectors = planSelectors(a);
  for (size_t i = 0; i < selectors.size() && i < marks.tops.size(); ++i) {
    if (marks.tops[i]) continue;
    const std::string option = i == index.from ? "--de" : i == index.to ? "--ate" : "--pausa";
    if (i < marks.boxless.size() && marks.boxless[i])
      return option + ": " + selectors[i] + " não tem lugar na página (não é exibido: display: none?)";
    return option + ": nada na página casa com " + selectors[i];
  }
  return {};
}

std::optional<double> planStart(const Arguments& a, const PlanMarks& marks) {
  const std::optional<double> top = markAt(marks, markIndex(a).from);
  if (!top) return std::nullopt;
  return reachable(*top, marks);
}

double planEnd(const Arguments& a, const PlanMarks& marks) {
  const std::optional<double> top = markAt(marks, markIndex(a).to);
  return top ? reachable(*top, marks) : marks.pageEnd;
}

PlanShape planShape(const Arguments& a, const PlanMarks& marks, double start, double speed) {
  PlanShape shape;
  shape.start = start;
  shape.end = planEnd(a, marks);
  shape.speed = speed;
  shape.roundTrip = a.roundTrip;
  shape.ease = a.ease;
  // An end the user named stays where it was found; the page's own end is
  // followed as the page grows, as in a plain scroll.
  shape.followsPageEnd = a.to.empty() && !a.roundTrip;
  const size_t first = markIndex(a).firstPause;
  for (size_t i = 0; i < a.pauses.size(); ++i)
    if (const std::optional<double> top = markAt(marks, first + i))
      shape.pauses.push_back({reachable(*top, marks), a.pauses[i].seconds});
  return shape;
}

std::string planScrollScript(const ScrollPlan& plan) {
  const PlanShape& shape = plan.shape();
  // The same plan as ScrollPlan::position, move for move.
  return "(function (partes, segue, limite, v, e) {\n"
         "  var s = document.createElement('style');\n"
         "  s.textContent = 'html, body { scroll-behavior: auto !important; }';\n"
         "  (document.head || document.documentElement).appendChild(s);\n"
         "  function mover(inicio, de, ate) {\n"
         "    var d = Math.abs(ate - de), p = [inicio, d / v, de, ate, 0, v];\n"
         "    if (e > 0 && d > 0) {\n"
         "      p[4] = Math.min(e, Math.sqrt(d * e / v));\n"
         "      p[5] = v * p[4] / e;\n"
         "      p[1] = 2 * p[4] + (d - p[5] * p[4]) / p[5];\n"
         "    }\n"
         "    return p;\n"
         "  }\n"
         "  function andado(p, x) {\n"
         "    var d = Math.abs(p[3] - p[2]), r = p[4], u = p[5];\n"
         "    function rampa(y) { return u * (y / 2 - r / (2 * Math.PI) * Math.sin(Math.PI * y / r)); }\n"
         "    if (x <= 0) return 0;\n"
         "    if (x >= p[1]) return d;\n"
         "    if (x < r) return rampa(x);\n"
         "    if (x > p[1] - r) return d - rampa(p[1] - x);\n"
         "    return u * r / 2 + u * (x - r);\n"
         "  }\n"
         "  var estado = window.vuzizeriRolagem = { s: 0, fim: 0 };\n"
         "  var t0 = performance.now(), n = partes.length;\n"
         "  (function passo(t) {\n"
         "    var b = document.body, de = document.documentElement;\n"
         "    var alvo = Math.max(b ? b.scrollHeight : 0, de ? de.scrollHeight : 0) - innerHeight;\n"
         "    var u = partes[n - 1];\n"
         "    if (segue) u = partes[n - 1] = mover(u[0], u[2], Math.max(u[2], Math.min(alvo, limite)));\n"
         "    var agora = (t - t0) / 1000, p = partes[0];\n"
         "    for (var i = 1; i < n && partes[i][0] <= agora; ++i) p = partes[i];\n"
         "    var x = andado(p, agora - p[0]);\n"
         "    window.scrollTo(0, p[3] >= p[2] ? p[2] + x : p[2] - x);\n"
         "    estado.fim = u[0] + u[1];\n"
         "    estado.s = Math.min(agora, estado.fim);\n"
         "    if (agora < estado.fim) requestAnimationFrame(passo);\n"
         "  })(t0);\n"
         "  return 0;\n"
         "})(" +
         planSegmentsLiteral(plan) + ", " + (shape.followsPageEnd ? "true" : "false") + ", " +
         shortestDecimal(plan.openEndLimit()) + ", " + shortestDecimal(shape.speed) + ", " +
         shortestDecimal(shape.ease) + ")";
}

bool planOver(const std::optional<web::ScriptValue>& answer) {
  if (!answer || !answer->isArray() || answer->elements.size() < 2 ||
      !answer->elements[0].isNumber() || !answer->elements[1].isNumber())
    return true;
  return !(answer->elements[0].number < answer->elements[1].number);
}

std::string goToScript(double offset) {
  return "window.scrollTo({ top: " + shortestDecimal(offset) +
         ", behavior: 'instant' }); pageYOffset";
}

}  // namespace vuz
