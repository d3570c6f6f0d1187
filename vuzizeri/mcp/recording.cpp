#include "vuzizeri/mcp/recording.h"

#include <cairo.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

#include "common/fail.h"
#include "common/shown_text.h"
#include "platform/media/movie_reader.h"
#include "vuzizeri/report/json.h"

extern char** environ;

namespace fs = std::filesystem;

namespace mcp {
namespace {

// The recorder's options that name a file: inside the workspace too.
bool namesFile(const std::string& option) {
  return option == "--estilo" || option == "--script" || option == "--audio" ||
         option == "--legendas" || option == "--roteiro";
}

struct Finished {
  int status = -1;  // exit status, or 128 + signal
  std::string out, err;
};

// Runs `argv` in a process group of its own (a signal to the client's
// terminal is not the recording's), telling progress every second and
// sending it SIGTERM once the call is cancelled: the recorder, not we, ends
// the processes it started, and only it knows what to remove.
Finished runRecorder(const std::vector<std::string>& argv, Call& call) {
  Finished f;
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    f.err = std::strerror(errno);
    return f;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(out[1]);
  close(err[1]);
  if (spawned != 0) {
    close(out[0]);
    close(err[0]);
    f.err = argv[0] + ": " + std::strerror(spawned);
    return f;
  }
  call.setRecorder(pid);
  const auto began = std::chrono::steady_clock::now();
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* into[2] = {&f.out, &f.err};
  for (int open = 2; open > 0;) {
    // A cancellation that came before the recorder had a pid.
    if (call.cancelled) call.cancel();
    const int ready = poll(fds, 2, 1000);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    if (ready == 0) {
      call.progress(std::floor(elapsed), "gravando há " + std::to_string(int(elapsed)) + " s");
      continue;
    }
    if (ready < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        into[i]->append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (const pollfd& p : fds)
    if (p.fd >= 0) close(p.fd);
  // Reaped only once a cancellation can no longer reach it by its pid.
  call.setRecorder(0);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  f.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return f;
}

// The report's "arquivo" and "segundos".
bool readReport(const std::string& report, std::string* file, double* seconds) {
  g_autoptr(JsonParser) parser = json_parser_new();
  if (!json_parser_load_from_data(parser, report.c_str(), -1, nullptr)) return false;
  JsonNode* root = json_parser_get_root(parser);
  if (!root || !JSON_NODE_HOLDS_OBJECT(root)) return false;
  JsonObject* object = json_node_get_object(root);
  const std::optional<std::string> path = stringMember(object, "arquivo");
  const std::optional<double> length = numberMember(object, "segundos");
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

  std::vector<std::string> argv = {w.recorder, "--json"};
  if (boolMember(args, "quadro_a_quadro").value_or(false)) argv.push_back("--quadro-a-quadro");
  for (const char* option : {"formato", "destino", "aparelho"})
    if (const std::optional<std::string> value = stringMember(args, option))
      argv.insert(argv.end(), {std::string("--") + option, *value});
  if (const std::optional<double> fps = numberMember(args, "fps"))
    argv.insert(argv.end(), {"--fps", std::to_string(std::lround(*fps))});
  if (json_object_has_member(args, "opcoes")) {
    JsonNode* node = json_object_get_member(args, "opcoes");
    if (!JSON_NODE_HOLDS_ARRAY(node)) {
      *invalid = "opcoes: uma lista de strings";
      return std::nullopt;
    }
    JsonArray* list = json_node_get_array(node);
    for (guint i = 0; i < json_array_get_length(list); ++i) {
      JsonNode* item = json_array_get_element(list, i);
      if (!JSON_NODE_HOLDS_VALUE(item) || json_node_get_value_type(item) != G_TYPE_STRING) {
        *invalid = "opcoes: uma lista de strings";
        return std::nullopt;
      }
      std::string word = json_node_get_string(item);
      // A file an option names is the workspace's too.
      if (!argv.empty() && namesFile(argv.back())) {
        const std::optional<fs::path> file = insideWorkspace(w, word, &why);
        if (!file) return textResult(argv.back() + ": " + why, true);
        word = file->string();
      }
      argv.push_back(word);
    }
  }
  // The storyboard's text goes to a file of the call's own.
  std::string storyboardFolder;
  if (const std::optional<std::string> storyboard = stringMember(args, "roteiro")) {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/vuzizeri-mcp-XXXXXX";
    if (!mkdtemp(templ.data())) return textResult(std::strerror(errno), true);
    storyboardFolder = templ;
    const std::string file = storyboardFolder + "/roteiro.txt";
    if (!g_file_set_contents(file.c_str(), storyboard->data(),
                             static_cast<gssize>(storyboard->size()), nullptr))
      return textResult("não gravou o roteiro", true);
    argv.insert(argv.end(), {"--roteiro", file});
  }
  argv.push_back("--");
  argv.push_back(*url);
  const char* sizes[] = {"largura", "altura", "escala", "topo"};
  int given = 0;
  for (const char* size : sizes) given += json_object_has_member(args, size) ? 1 : 0;
  if (given == 4) {
    for (const char* size : sizes) {
      const std::optional<double> n = numberMember(args, size);
      if (!n) {
        *invalid = std::string(size) + ": um número";
        return std::nullopt;
      }
      argv.push_back(vuz::jsonNumber(*n));
    }
  } else if (given > 0) {
    *invalid = "largura, altura, escala e topo vão juntos";
    return std::nullopt;
  }
  argv.push_back(out->string());

  call.progress(0, "carregando a página");
  const Finished done = runRecorder(argv, call);
  if (!storyboardFolder.empty()) fs::remove_all(storyboardFolder);
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

}  // namespace mcp
