#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The report of a finished recording: one line, or one JSON object.
namespace vuz {

// "<path> <size> bytes, <seconds, one decimal>s", with the full stop as the
// decimal separator whatever the locale.
std::string outPathInfo(const std::string& path, int64_t size, double duration);

// What --json reports of a finished run.
struct RunReport {
  std::string path;
  int64_t bytes = 0;
  double seconds = 0;  // of video
  int64_t frames = 0;
  bool frameByFrame = false;
  double speed = 0;  // CSS px/s
  // The directed scroll's start and end offsets and holds (CSS px and
  // seconds), with the selectors of the holds; absent for a plain scroll.
  struct Pause {
    std::string selector;
    double offset = 0;
    double seconds = 0;
  };
  bool directed = false;
  double start = 0;
  double end = 0;
  std::vector<Pause> pauses;
  bool roundTrip = false;
  double ease = 0;
  // --roteiro: each filmed step as written, with when it happened (seconds
  // of video).
  struct Step {
    int line = 0;
    std::string written;
    double seconds = 0;
  };
  bool storyboard = false;
  std::vector<Step> steps;
  // Its captions and title cards, with when they show.
  struct Words {
    std::string kind;  // "legenda", "titulo" or "capitulo"
    std::string text;
    double from = 0, to = 0;
  };
  std::vector<Words> words;
  // --redigir and --redigir-texto: the elements and text ranges covered as
  // the recording ended.
  std::optional<std::pair<int64_t, int64_t>> redacted;
  // --destino: the target, its picture, where the store takes its poster
  // frame (seconds and frame, when it does), and each rule the file breaks.
  struct TargetReport {
    std::string name;
    int64_t width = 0, height = 0;
    std::optional<double> posterSeconds;
    int64_t posterFrame = 0;
    std::vector<std::string> findings;
  };
  std::optional<TargetReport> target;
};

// The report as one line of JSON: {"arquivo", "bytes", "segundos",
// "quadros", "modo" ("tempo-real" or "quadro-a-quadro"), "velocidade", and
// for a directed scroll "de", "ate", "pausas" [{"seletor", "posicao",
// "segundos"}], "ida_e_volta", "suave"}, and for a storyboard "roteiro"
// [{"linha", "passo", "segundos"}] and, when it shows any, "legendas"
// [{"tipo" ("legenda", "titulo", "capitulo" or "destaque"), "texto", "de", "ate"}];
// with redaction, "redigidos" {"elementos", "trechos"}; with a target,
// "destino" {"nome", "largura", "altura", "poster" {"segundos", "quadro"}
// (null when the target takes none), "conforme", "falhas" [text]}.
std::string jsonReport(const RunReport& report);

// The file's size in bytes, 0 when it cannot be read.
int64_t fileSizeOrZero(const std::string& path);

}  // namespace vuz
