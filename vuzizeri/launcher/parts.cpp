#include "vuzizeri/launcher/parts.h"

#include <glib.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "vuzizeri/report/json.h"
#include "vuzizeri/report/report.h"

namespace vuz {

std::string recordingIdentity(const Arguments& a, const std::string& styleSheet) {
  // Each field as name, length and value, so that no two command lines
  // read the same.
  std::string text;
  auto field = [&text](const char* name, const std::string& value) {
    text += std::string(name) + " " + std::to_string(value.size()) + " " + value + "\n";
  };
  auto number = [](double value) {
    char exact[64];
    std::snprintf(exact, sizeof exact, "%a", value);  // every bit of it: 1 is not 1.001
    return std::string(exact);
  };
  auto nameOf = [](const std::string& line, char separator) {
    return line.substr(0, line.find(separator));
  };
  field("versao", PROJECT_VERSION_TEXT);
  field("url", a.url);
  field("tamanho", std::to_string(a.cssW) + " " + std::to_string(a.cssH) + " " + number(a.scale) +
                       " " + std::to_string(a.safeTop));
  field("quadro-a-quadro", a.frameByFrame ? "1" : "0");
  field("fps", std::to_string(a.fps));
  for (const std::string& h : a.headers) field("cabecalho", nameOf(h, ':'));
  for (const std::string& c : a.cookies) field("cookie", nameOf(c, '='));
  for (const std::string& s : a.hide) field("esconder", s);
  for (const std::string& s : a.remove) field("remover", s);
  for (const std::string& s : a.redactText) field("redigir-texto", s);
  field("estilo", styleSheet);
  field("script", a.scriptText);
  field("esperar-elemento", a.waitFor);
  field("controles", a.engineControls ? "motor" : "ios");
  field("opcoes", std::string(a.noBanners ? "sem-banners " : "") + (a.dark ? "escuro " : "") +
                      (a.preload ? "pre-carregar " : "") +
                      (a.reducedMotion ? "movimento-reduzido " : "") +
                      (a.roundTrip ? "ida-e-volta" : ""));
  field("velocidade", a.speed ? number(*a.speed) : "");
  field("de", a.from);
  field("ate", a.to);
  for (const Arguments::Pause& p : a.pauses) field("pausa", p.selector + "=" + number(p.seconds));
  field("suave", number(a.ease));
  g_autofree char* digest = g_compute_checksum_for_string(G_CHECKSUM_SHA256, text.c_str(),
                                                          static_cast<gssize>(text.size()));
  return digest ? digest : "";
}

int64_t partMemory(int64_t pxW, int64_t pxH) { return (int64_t{512} << 20) + 32 * 4 * pxW * pxH; }

int64_t automaticParts(int cpus, int64_t memory, int64_t pxW, int64_t pxH) {
  const int64_t byMemory = memory / std::max<int64_t>(1, partMemory(pxW, pxH));
  return std::clamp<int64_t>(std::min<int64_t>(cpus, byMemory), 1, kMaxParallelParts);
}

std::vector<std::string> partArguments(const std::vector<std::string>& given, const Arguments& a,
                                       int64_t index, int64_t count, const std::string& partPath) {
  std::vector<std::string> args = {"--trecho", std::to_string(index) + "/" + std::to_string(count)};
  for (size_t i = 0; i < given.size(); ++i) {
    if (i < a.optionsEnd && given[i] == "--paralelo") {
      ++i;  // and its value
      continue;
    }
    args.push_back(i == a.outputArgument ? partPath : given[i]);
  }
  return args;
}

std::string joinedJsonReport(const std::string& lastPartReport, const std::string& path,
                             int64_t bytes, double seconds, int64_t frames) {
  RunReport joined;
  joined.path = path;
  joined.bytes = bytes;
  joined.seconds = seconds;
  joined.frames = frames;
  const std::string head = jsonReport(joined);
  // The members after the four of the whole file, "modo" on.
  const std::string modeOn = ", " + jsonString("modo") + ": ";
  const size_t rest = lastPartReport.find(modeOn);
  if (rest == std::string::npos) return head;
  return head.substr(0, head.find(modeOn)) + lastPartReport.substr(rest);
}

}  // namespace vuz
