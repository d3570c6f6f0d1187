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
std::string reportNumber(double value) {
  return jsonNumber(std::abs(value) < 1e15 ? std::round(value * 1e6) / 1e6 : value);
}

}  // namespace

std::string jsonReport(const RunReport& r) {
  std::string json =
      "{\"arquivo\": " + jsonString(r.path) + ", \"bytes\": " + std::to_string(r.bytes) +
      ", \"segundos\": " + reportNumber(r.seconds) + ", \"quadros\": " + std::to_string(r.frames) +
      ", \"modo\": \"" + (r.frameByFrame ? "quadro-a-quadro" : "tempo-real") +
      "\", \"velocidade\": " + reportNumber(r.speed);
  if (r.directed) {
    json += ", \"de\": " + reportNumber(r.start) + ", \"ate\": " + reportNumber(r.end) +
            ", \"pausas\": [";
    for (size_t i = 0; i < r.pauses.size(); ++i)
      json += std::string(i ? ", " : "") + "{\"seletor\": " + jsonString(r.pauses[i].selector) +
              ", \"posicao\": " + reportNumber(r.pauses[i].offset) +
              ", \"segundos\": " + reportNumber(r.pauses[i].seconds) + "}";
    json += std::string("], \"ida_e_volta\": ") + (r.roundTrip ? "true" : "false") +
            ", \"suave\": " + reportNumber(r.ease);
  }
  if (r.storyboard) {
    json += ", \"roteiro\": [";
    for (size_t i = 0; i < r.steps.size(); ++i)
      json += std::string(i ? ", " : "") + "{\"linha\": " + std::to_string(r.steps[i].line) +
              ", \"passo\": " + jsonString(r.steps[i].written) +
              ", \"segundos\": " + reportNumber(r.steps[i].seconds) + "}";
    json += "]";
    if (!r.words.empty()) {
      json += ", \"legendas\": [";
      for (size_t i = 0; i < r.words.size(); ++i)
        json += std::string(i ? ", " : "") + "{\"tipo\": " + jsonString(r.words[i].kind) +
                ", \"texto\": " + jsonString(r.words[i].text) +
                ", \"de\": " + reportNumber(r.words[i].from) +
                ", \"ate\": " + reportNumber(r.words[i].to) + "}";
      json += "]";
    }
  }
  if (r.redacted)
    json += ", \"redigidos\": {\"elementos\": " + std::to_string(r.redacted->first) +
            ", \"trechos\": " + std::to_string(r.redacted->second) + "}";
  if (const std::optional<RunReport::TargetReport>& t = r.target) {
    json += ", \"destino\": {\"nome\": " + jsonString(t->name) +
            ", \"largura\": " + std::to_string(t->width) +
            ", \"altura\": " + std::to_string(t->height) + ", \"poster\": " +
            (t->posterSeconds ? "{\"segundos\": " + reportNumber(*t->posterSeconds) +
                                    ", \"quadro\": " + std::to_string(t->posterFrame) + "}"
                              : std::string("null")) +
            ", \"conforme\": " + (t->findings.empty() ? "true" : "false") + ", \"falhas\": [";
    for (size_t i = 0; i < t->findings.size(); ++i)
      json += std::string(i ? ", " : "") + jsonString(t->findings[i]);
    json += "]}";
  }
  return json + "}";
}

int64_t fileSizeOrZero(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return 0;
  return static_cast<int64_t>(info.st_size);
}

}  // namespace vuz
