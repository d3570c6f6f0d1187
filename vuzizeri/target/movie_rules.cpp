#include "vuzizeri/target/movie_rules.h"

#include <cmath>
#include <cstdio>
#include <functional>

namespace vuz {

std::string decimalText(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  std::string shown = text;
  if (const size_t dot = shown.find('.'); dot != std::string::npos) {
    while (shown.back() == '0') shown.pop_back();
    if (shown.back() == '.') shown.pop_back();
    if (const size_t at = shown.find('.'); at != std::string::npos) shown[at] = ',';
  }
  return shown;
}

namespace {

std::string size(int64_t w, int64_t h) { return std::to_string(w) + "×" + std::to_string(h); }

// H.264's levels as they are named: "4.0", "5.1".
std::string levelText(int level) {
  return std::to_string(level / 10) + "." + std::to_string(level % 10);
}

bool isH264Profile(const std::string& p) {
  return p == "Baseline" || p == "Constrained Baseline" || p == "Main" || p == "High";
}

std::string codecText(const media::MovieFacts& f) {
  if (f.videoCodec == "h264") return "H.264";
  if (f.videoCodec == "prores") return "ProRes";
  return f.videoCodec;
}

std::string soundForm(const media::MovieFacts& f) {
  return f.soundCodec + ", " + std::to_string(f.channels) + " canais, " +
         decimalText(f.sampleRate / 1000.0, 1) + " kHz";
}

std::string tracks(int count, const std::string& kind) {
  return std::to_string(count) + (count == 1 ? " trilha" : " trilhas") + kind;
}

std::string turnText(const media::MovieFacts& f) {
  if (std::isnan(f.turnDegrees)) return "uma matriz de exibição que vira ou estica a imagem";
  return "uma matriz de exibição que gira a imagem " + decimalText(f.turnDegrees, 0) +
         "° no sentido horário";
}

// What every player and store takes for granted, whatever the target: one
// picture, every track on, shown as it is stored, in whole frames, and a
// header that tells the length the packets last.
void checkTracks(const media::MovieFacts& f,
                 const std::function<void(std::string, std::string, std::string)>& fails) {
  if (f.videoTracks > 1)
    fails("trilhas", tracks(f.videoTracks, " de vídeo"), "uma trilha de vídeo");
  if (f.disabledTracks > 0)
    fails("ativas",
          tracks(f.disabledTracks, f.disabledTracks == 1 ? " desativada" : " desativadas"),
          "todas as trilhas ativadas");
  if (f.displayMatrix) fails("rotacao", turnText(f), "a imagem como está gravada, sem girar");
  if (f.pixelWidth > 0 && f.pixelWidth != f.pixelHeight)
    fails(
        "pixels",
        "pixels de proporção " + std::to_string(f.pixelWidth) + ":" + std::to_string(f.pixelHeight),
        "pixels quadrados (1:1)");
  if (f.interlaced) fails("varredura", "entrelaçada", "progressiva");
  // A second either way is the tail of a sound track, not a wrong header.
  if (f.headerSeconds > 0 && std::abs(f.headerSeconds - f.packetSeconds) > 1)
    fails("cabecalho",
          "o cabeçalho diz " + decimalText(f.headerSeconds, 3) + " s, os pacotes duram " +
              decimalText(f.packetSeconds, 3) + " s",
          "o cabeçalho com a duração dos pacotes");
}

}  // namespace

std::vector<Finding> checkMovie(const media::MovieFacts& f, const Target& t) {
  std::vector<Finding> found;
  auto fails = [&](std::string rule, std::string measured, std::string wanted) {
    found.push_back({std::move(rule), std::move(measured), std::move(wanted)});
  };
  const bool h264 = f.videoCodec == "h264";
  const bool proRes = f.videoCodec == "prores";
  if (f.index != media::MovieFacts::Index::kFirst)
    fails("indice",
          f.index == media::MovieFacts::Index::kAfterData ? "o índice (moov) depois dos dados"
                                                          : "não é MP4 nem QuickTime",
          "um MP4 ou QuickTime com o índice (moov) antes dos dados (faststart)");
  if (f.width != t.width || f.height != t.height)
    fails("tamanho", size(f.width, f.height), size(t.width, t.height));
  const std::string codecs = t.proRes ? "H.264 ou ProRes 422 HQ" : "H.264";
  if (!h264 && !(proRes && t.proRes)) {
    fails("codec", codecText(f), codecs);
  } else if (h264 && !isH264Profile(f.profile)) {
    fails("perfil", "H.264 " + (f.profile.empty() ? std::string("desconhecido") : f.profile),
          "H.264 até High");
  } else if (proRes && f.profile != "HQ") {
    fails("perfil", "ProRes " + (f.profile.empty() ? std::string("desconhecido") : f.profile),
          "ProRes 422 HQ");
  }
  if (h264 && t.maxLevel && (f.level <= 0 || f.level > *t.maxLevel))
    fails("nivel", f.level > 0 ? levelText(f.level) : "desconhecido",
          "até " + levelText(*t.maxLevel));
  const double rate = f.frameRate();
  if (!f.constantRate() || rate > t.fps + 0.01)
    fails("quadros",
          decimalText(rate, 2) + " por segundo" + (f.constantRate() ? "" : ", variáveis"),
          "até " + std::to_string(t.fps) + " por segundo, constantes");
  if (h264 && t.highBitRate && f.videoBitRate > static_cast<double>(*t.highBitRate))
    fails("taxa", decimalText(f.videoBitRate / 1e6, 2) + " Mbit/s",
          "até " + decimalText(static_cast<double>(*t.highBitRate) / 1e6, 2) + " Mbit/s");
  const std::string sound = "som AAC estéreo a 44,1 ou 48 kHz";
  if (!f.hasSound) {
    fails("som", "nenhum", sound);
  } else {
    const bool codecOk = f.soundCodec == "aac" || (proRes && f.soundCodec.starts_with("pcm_"));
    if (!codecOk || f.channels != 2 || (f.sampleRate != 44100 && f.sampleRate != 48000))
      fails("som", soundForm(f), sound);
  }
  // Half a millisecond either way is the rounding of the times' clocks.
  if (f.seconds < t.shortestSeconds - 5e-4 || f.seconds > t.longestSeconds + 5e-4)
    fails("duracao", decimalText(f.seconds, 3) + " s",
          "de " + decimalText(t.shortestSeconds, 3) + " a " + decimalText(t.longestSeconds, 3) +
              " s");
  checkTracks(f, fails);
  if (t.maxBytes && f.fileBytes > *t.maxBytes)
    fails("arquivo", decimalText(static_cast<double>(f.fileBytes) / 1e6, 1) + " MB",
          "até " + decimalText(static_cast<double>(*t.maxBytes) / 1e6, 1) + " MB");
  return found;
}

std::string findingLine(const Finding& finding, const Target& target) {
  return finding.rule + ": " + finding.measured + "; " + target.name + " pede " + finding.wanted;
}

}  // namespace vuz
