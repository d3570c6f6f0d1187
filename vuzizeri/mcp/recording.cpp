#include "vuzizeri/mcp/recording.h"

#include <cairo.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

#include "common/fail.h"
#include "common/input_file.h"
#include "common/shown_text.h"
#include "platform/media/reader/movie_reader.h"
#include "vuzizeri/agent/recording_request.h"
#include "vuzizeri/command_line/arguments.h"
#include "vuzizeri/report/json.h"
#include "vuzizeri/storyboard/line_syntax.h"

namespace fs = std::filesystem;

namespace mcp {
namespace {

// The recorder's options that name a file: inside the workspace too.
bool namesFile(const std::string& option) {
  return option == "--estilo" || option == "--script" || option == "--audio" ||
         option == "--legendas" || option == "--roteiro" || option == "--textos";
}

// The most of a storyboard's file that is read, as the recorder reads it.
constexpr size_t kMostStoryboardBytes = size_t{1} << 20;

// What an agent's opcoes add to the recorder's words: options only, each
// with its value (the call gives the URL, the sizes and the output itself),
// the files they name inside the workspace. A storyboard's file is read
// into `storyboard`, to be checked and copied as `roteiro` is. The
// refusal, or "".
std::string addOptions(const Workspace& w, const std::vector<std::string>& given,
                       std::vector<std::string>* argv, std::optional<std::string>* storyboard) {
  return agent::takeOptions(
      given,
      [&](const std::string& option, const std::optional<std::string>& taken) -> std::string {
        if (!taken) {
          argv->push_back(option);
          return "";
        }
        std::string value = *taken, why;
        if (namesFile(option)) {
          const std::optional<fs::path> file = insideWorkspace(w, value, &why);
          if (!file) return option + ": " + why;
          value = file->string();
        }
        if (option == "--roteiro") {
          if (*storyboard) return "--roteiro e roteiro: dê um dos dois";
          *storyboard = readInputFile(value, kMostStoryboardBytes, &why);
          if (!*storyboard) return "--roteiro: " + shownText(value) + ": " + why;
          return "";
        }
        argv->insert(argv->end(), {option, value});
        return "";
      });
}

// The outputs being recorded to: a second call to the same file would
// overwrite or remove the first one's.
std::mutex outputsMutex;
std::set<fs::path> outputsInUse;

class OutputClaim {
 public:
  explicit OutputClaim(const fs::path& path) : path_(path) {
    std::lock_guard lock(outputsMutex);
    held_ = outputsInUse.insert(path_).second;
  }
  ~OutputClaim() {
    if (!held_) return;
    std::lock_guard lock(outputsMutex);
    outputsInUse.erase(path_);
  }
  OutputClaim(const OutputClaim&) = delete;
  OutputClaim& operator=(const OutputClaim&) = delete;
  bool held() const { return held_; }

 private:
  fs::path path_;
  bool held_ = false;
};

// The report's "arquivo" and "segundos".
bool readReport(const std::string& report, std::string* file, double* seconds) {
  agent::ParsedObject parsed;
  std::string why;
  if (!agent::parseObject(report, &parsed, &why)) return false;
  const std::optional<std::string> path = stringMember(parsed.object, "arquivo");
  const std::optional<double> length = numberMember(parsed.object, "segundos");
  if (!path || !length) return false;
  *file = *path;
  *seconds = *length;
  return true;
}

cairo_status_t appendPng(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::optional<std::string> posterPng(const std::string& path, double seconds, int width) {
  std::string error;
  std::unique_ptr<media::MovieReader> reader = media::MovieReader::open(path, &error);
  if (!reader) return std::nullopt;
  const AVFrame* frame = nullptr;
  while (const AVFrame* next = reader->nextBgra()) {
    frame = next;
    if (reader->secondsOf(*next) >= seconds) break;
  }
  if (!frame) return std::nullopt;
  // The frame as cairo takes it (BGRA in memory, opaque), scaled to `width`.
  cairo_surface_t* source = cairo_image_surface_create_for_data(
      frame->data[0], CAIRO_FORMAT_RGB24, frame->width, frame->height, frame->linesize[0]);
  const double scale = std::min(1.0, static_cast<double>(width) / frame->width);
  const int w = std::max(1, static_cast<int>(std::lround(frame->width * scale)));
  const int h = std::max(1, static_cast<int>(std::lround(frame->height * scale)));
  cairo_surface_t* poster = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  cairo_t* cr = cairo_create(poster);
  cairo_scale(cr, scale, scale);
  cairo_set_source_surface(cr, source, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_paint(cr);
  cairo_destroy(cr);
  std::string png;
  const cairo_status_t written = cairo_surface_write_to_png_stream(poster, appendPng, &png);
  cairo_surface_destroy(poster);
  cairo_surface_destroy(source);
  if (written != CAIRO_STATUS_SUCCESS) return std::nullopt;
  g_autofree char* base64 =
      g_base64_encode(reinterpret_cast<const guchar*>(png.data()), png.size());
  return std::string(base64);
}

namespace {

// The recorder's outcome as the call's answer: its report, a poster frame
// and the file's path, or its error.
ToolResult answer(const agent::RecorderOutcome& done, Call& call) {
  if (done.status != 0 && done.status != 3) {
    std::string message = done.err.empty()
                              ? "a gravação terminou com o estado " + std::to_string(done.status)
                              : done.err;
    while (!message.empty() && message.back() == '\n') message.pop_back();
    if (done.status == 2 && done.err.starts_with("uso:"))
      message += " (faltam aparelho, destino ou largura, altura, escala e topo)";
    return textResult(message, true);
  }
  std::string file;
  double seconds = 0;
  std::string report = done.out;
  while (!report.empty() && report.back() == '\n') report.pop_back();
  if (!readReport(report, &file, &seconds))
    return textResult("relatório ilegível: " + report, true);
  ToolResult result = textResult(report, done.status == 3);
  if (done.status == 3) result.content.push_back(textResult(done.err).content[0]);
  if (const std::optional<std::string> png = posterPng(file, std::min(5.0, seconds / 2), 390))
    result.content.push_back(
        vuz::JsonValue::object({{"type", "image"}, {"data", *png}, {"mimeType", "image/png"}})
            .text());
  result.content.push_back(textResult("arquivo: " + file).content[0]);
  call.progress(seconds, "pronto");
  return result;
}

}  // namespace

std::optional<ToolResult> record(const Workspace& w, JsonObject* args, Call& call,
                                 std::string* invalid) {
  const std::optional<std::string> url = stringMember(args, "url");
  const std::optional<std::string> output = stringMember(args, "saida");
  if (!url || !output) {
    *invalid = "url e saida: strings";
    return std::nullopt;
  }
  std::string why;
  const std::optional<fs::path> out = insideWorkspace(w, *output, &why);
  if (!out) return textResult("saida: " + why, true);
  if (vuz::schemeOf(*url).empty())
    return textResult("url: um URL absoluto: " + shownText(*url), true);
  if (std::string refused = agent::localPageRefusal(*url, w.reach); !refused.empty())
    return textResult("url: " + refused, true);

  // A device with the sizes is the agent's to mend, as the tool's error.
  if (hasMember(args, "aparelho") && hasMember(args, "largura"))
    return textResult("aparelho ou largura, altura, escala e topo: não os dois", true);
  const std::optional<agent::RecorderWords> words =
      agent::recorderWords(args, agent::Front::kMcp, invalid);
  if (!words) return std::nullopt;
  std::vector<std::string> argv = {w.recorder, "--json"};
  argv.insert(argv.end(), words->options.begin(), words->options.end());
  std::optional<std::string> storyboard = stringMember(args, "roteiro");
  if (hasMember(args, "opcoes")) {
    const std::optional<std::vector<std::string>> given = stringsMember(args, "opcoes");
    if (!given) {
      *invalid = "opcoes: uma lista de strings";
      return std::nullopt;
    }
    if (std::string refused = addOptions(w, *given, &argv, &storyboard); !refused.empty())
      return textResult("opcoes: " + refused, true);
  }
  // The storyboard is checked as one from afar, and its text goes to a file
  // of the call's own.
  agent::StoryboardFile storyboardFile;
  if (storyboard) {
    if (std::string refused = agent::storyboardRefusal(*storyboard, *url, w.reach);
        !refused.empty())
      return textResult("roteiro: " + refused, true);
    if (!storyboardFile.write(*storyboard, &why)) return textResult(why, true);
    argv.insert(argv.end(), {"--roteiro", storyboardFile.path()});
  }
  const OutputClaim claim(*out);
  if (!claim.held())
    return textResult("saida: " + out->string() + " já está sendo gravado por outra chamada", true);
  argv.push_back("--");
  argv.push_back(*url);
  argv.insert(argv.end(), words->sizes.begin(), words->sizes.end());
  argv.push_back(out->string());

  call.progress(0, "carregando a página");
  const agent::RecorderOutcome done = agent::runRecorder(
      argv, {[&call](pid_t pid) { call.recorder.set(pid); },
             [&call](double seconds) {
               call.progress(std::floor(seconds),
                             "gravando há " + std::to_string(int(seconds)) + " s");
             }});
  return answer(done, call);
}

}  // namespace mcp
