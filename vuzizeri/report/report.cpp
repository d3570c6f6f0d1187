#include "vuzizeri/report/report.h"

#include <sys/stat.h>

#include <charconv>
#include <cmath>

#include "vuzizeri/report/json.h"

namespace vuz {

std::string outPathInfo(const std::string& path, int64_t size, double duration) {
  // to_chars is printf's "%.1f" without the locale.
  char seconds[400];
  auto end =
      std::to_chars(seconds, seconds + sizeof seconds, duration, std::chars_format::fixed, 1).ptr;
  return path + " " + std::to_string(size) + " bytes, " + std::string(seconds, end) + "s";
}

namespace {

// Figures to the microsecond or millionth of a pixel.
JsonValue reportNumber(double value) {
  return JsonValue(std::abs(value) < 1e15 ? std::round(value * 1e6) / 1e6 : value);
}

JsonValue pausesJson(const std::vector<RunReport::Pause>& pauses) {
  std::vector<JsonValue> items;
  for (const RunReport::Pause& p : pauses)
    items.push_back(JsonValue::object({{"seletor", p.selector},
                                       {"posicao", reportNumber(p.offset)},
                                       {"segundos", reportNumber(p.seconds)}}));
  return JsonValue::list(items);
}

JsonValue stepsJson(const std::vector<RunReport::Step>& steps) {
  std::vector<JsonValue> items;
  for (const RunReport::Step& s : steps)
    items.push_back(JsonValue::object(
        {{"linha", s.line}, {"passo", s.written}, {"segundos", reportNumber(s.seconds)}}));
  return JsonValue::list(items);
}

JsonValue wordsJson(const std::vector<RunReport::Words>& words) {
  std::vector<JsonValue> items;
  for (const RunReport::Words& w : words)
    items.push_back(JsonValue::object({{"tipo", w.kind},
                                       {"texto", w.text},
                                       {"de", reportNumber(w.from)},
                                       {"ate", reportNumber(w.to)}}));
  return JsonValue::list(items);
}

JsonValue targetJson(const RunReport::TargetReport& t) {
  const JsonValue poster = t.posterSeconds
                               ? JsonValue::object({{"segundos", reportNumber(*t.posterSeconds)},
                                                    {"quadro", t.posterFrame}})
                               : JsonValue();
  return JsonValue::object(
      {{"nome", t.name},
       {"largura", t.width},
       {"altura", t.height},
       {"poster", poster},
       {"conforme", t.findings.empty()},
       {"falhas", JsonValue::list(std::vector<JsonValue>(t.findings.begin(), t.findings.end()))}});
}

}  // namespace

std::string jsonReport(const RunReport& r) {
  JsonObjectWriter json;
  json.add("arquivo", r.path)
      .add("bytes", r.bytes)
      .add("segundos", reportNumber(r.seconds))
      .add("quadros", r.frames)
      .add("modo", r.frameByFrame ? "quadro-a-quadro" : "tempo-real")
      .add("velocidade", reportNumber(r.speed));
  if (r.directed)
    json.add("de", reportNumber(r.start))
        .add("ate", reportNumber(r.end))
        .add("pausas", pausesJson(r.pauses))
        .add("ida_e_volta", r.roundTrip)
        .add("suave", reportNumber(r.ease));
  if (r.storyboard)
    json.add("roteiro", stepsJson(r.steps)).addIf(!r.words.empty(), "legendas", wordsJson(r.words));
  if (r.redacted)
    json.add("redigidos", JsonValue::object(
                              {{"elementos", r.redacted->first}, {"trechos", r.redacted->second}}));
  if (r.target) json.add("destino", targetJson(*r.target));
  return json.done().text();
}

int64_t fileSizeOrZero(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return 0;
  return static_cast<int64_t>(info.st_size);
}

}  // namespace vuz
