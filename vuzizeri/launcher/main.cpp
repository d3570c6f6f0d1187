// vuzizeri <url> <cssW> <cssH> <escala> <safeTopPt> <saida.mp4>
//
// Records a web page as a scrolling phone-screen video. Start-up: check the
// command line, put the run under its guard (time limit, private folder,
// clean-up), bring up a private display, open the window with the web view,
// load the page, and hand over to the event loop.

#include <fcntl.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "common/fail.h"
#include "common/output_path.h"
#include "common/progress_line.h"
#include "platform/display/private_display.h"
#include "platform/loop/main_queue.h"
#include "platform/media/av_error.h"
#include "platform/media/sound_source.h"
#include "platform/process/program_data.h"
#include "platform/process/run_folder.h"
#include "platform/process/run_guard.h"
#include "platform/system/resources.h"
#include "platform/web/page_confinement.h"
#include "platform/web/webkit_view.h"
#include "platform/web/origin.h"
#include "vuzizeri/command_line/arguments.h"
#include "vuzizeri/command_line/devices.h"
#include "vuzizeri/launcher/page_inputs.h"
#include "vuzizeri/launcher/parallel.h"
#include "vuzizeri/recorder/parts.h"
#include "vuzizeri/recorder/mp4_writer.h"
#include "vuzizeri/recorder/phone.h"
#include "vuzizeri/recorder/recorder.h"
#include "vuzizeri/recorder/capture/video_clock.h"

namespace {

constexpr char kWindowTitle[] = "Gravando\u2026";
constexpr double kTimeLimitSeconds = 120;
// Frame by frame, a slow machine makes a 60 s page in many minutes: the run
// ends when it has made no frame for half a minute, and in any case after
// half an hour.
constexpr double kFrameByFrameTimeLimitSeconds = 30 * 60;
constexpr double kFrameByFrameStallSeconds = 30;
// The web process may use 40 % of the memory the run may use (what the
// machine has available, or its container allows), between 256 MiB and
// 4 GiB: far above what real pages take (a few hundred MB at scale 3), and
// leaving the rest of the run (the recorder itself, up to 300 MB at scale 3,
// and the display server) and a fifth of a second's allocation by a page
// gone wild under what the kernel would kill for. WebKit releases memory as
// a page nears the limit and kills the web process past it; the guard kills
// any process of the run past it even when the web process is too busy to
// check itself.
constexpr double kWebMemoryShare = 0.4;
constexpr unsigned kMinWebMemoryMB = 256;
constexpr unsigned kMaxWebMemoryMB = 4096;

int reportDescriptor = STDOUT_FILENO;

// The report comes from the writer's thread, a failure from the main thread
// and the time limit from the guard; whichever ends the run first is the
// only one heard.
void claimEnding() {
  if (!process::claimEnding())
    for (;;) pause();
}

[[noreturn]] void failOnce(std::string_view message) {
  claimEnding();
  fail(message);
}

[[noreturn]] void reportAndExit(const std::string& line) {
  process::noteOutputFinished();
  claimEnding();
  progress::finish();
  if (!writeAll(reportDescriptor, line))
    fail(std::string("falha ao escrever o relatório: ") + std::strerror(errno));
  // GTK and WebKit are still alive on the main thread: leave without running
  // any destructor under their feet.
  _exit(0);
}

// Everything the run starts inherits descriptors 0 to 2; they go to
// /dev/null, so that no web process or display server holds the caller's
// pipes, and library chatter never reaches the user. The report and our own
// messages go to private copies of the real ones.
void keepStandardDescriptorsPrivate() {
  int out = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  int err = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (out < 0 || err < 0 || devNull < 0) return;
  reportDescriptor = out;
  setFailDescriptor(err);
  progress::attach(err);
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) dup2(devNull, fd);
  close(devNull);
}

unsigned webMemoryLimitMB() {
  // Parts made at once on this machine share it.
  const char* parts = getenv(vuz::kPartsOnMachineVariable);
  const double sharing = parts ? std::clamp(std::atof(parts), 1.0, 64.0) : 1.0;
  const double shareMB =
      static_cast<double>(sys::usableMemory()) * kWebMemoryShare / sharing / (1 << 20);
  return static_cast<unsigned>(std::clamp<double>(shareMB, kMinWebMemoryMB, kMaxWebMemoryMB));
}

void showProgress(const vuz::Progress& p) {
  using Phase = vuz::Progress::Phase;
  static Phase shownPhase = Phase::kFinishing;
  const bool newPhase = p.phase != shownPhase;
  shownPhase = p.phase;
  if (p.phase == Phase::kWaiting) return progress::show("página carregada; gravação em 3 s", true);
  if (p.phase == Phase::kFinishing) return progress::show("finalizando o arquivo", true);
  char text[160];
  if (p.rate > 0) {
    const long left = std::lround(p.secondsLeft);
    std::snprintf(text, sizeof text,
                  "quadro a quadro: %lld quadros, %.1f s de vídeo, %.1f quadros/s, faltam %ld:%02ld",
                  static_cast<long long>(p.frames), p.seconds, p.rate, left / 60, left % 60);
    return progress::show(text, newPhase);
  }
  std::snprintf(text, sizeof text,
                "gravando: %lld quadros, %.1f s de vídeo, %.1f quadros distintos/s, %.0f%% da "
                "rolagem",
                static_cast<long long>(p.frames), p.seconds,
                p.seconds > 0 ? p.distinctFrames / p.seconds : 0.0, 100 * p.scrolled);
  progress::show(text, newPhase);
}

// --audio's file, opened once at start: what was checked is what plays, even
// when the file is removed or replaced meanwhile.
std::unique_ptr<media::SoundSource> soundTrack;

// The movie file is ours from the moment it exists, so the guard removes it
// should the run end before it is finished.
std::unique_ptr<vuz::RecordingWriter> openOwnMp4Writer(const vuz::H264Request& request) {
  std::optional<FileIdentity> file = createNewFile(request.path);
  if (!file) return nullptr;
  process::noteOutputCreated(*file);
  return vuz::openMp4Writer(request, request.withSound ? std::move(soundTrack) : nullptr);
}

// The device table, read once, when the command line names a device or
// asks for the list.
const std::vector<vuz::Device>& deviceTable(const std::string& data) {
  static std::optional<std::vector<vuz::Device>> devices;
  if (devices) return *devices;
  const std::string path = data + "/aparelhos.tsv";
  std::string text, unread;
  if (vuz::readFile(path, &text, &unread)) devices = vuz::parseDevices(text);
  if (!devices) fail("tabela de aparelhos ausente ou ilegível: " + path);
  return *devices;
}

}  // namespace

int main(int argc, char** argv) {
  reopenClosedStandardDescriptors();
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const std::string data = process::programDataFolder("vuzizeri");
  vuz::ParseResult parsed = vuz::parseArguments(args, [&] { return deviceTable(data); });
  if (parsed.listDevices || parsed.showHelp || parsed.showVersion) {
    const std::string text = parsed.listDevices ? vuz::deviceList(deviceTable(data))
                             : parsed.showHelp  ? vuz::usageWithOptions()
                                                : "vuzizeri " PROJECT_VERSION_TEXT "\n";
    if (!writeAll(STDOUT_FILENO, text))
      fail(std::string("falha ao escrever a saída: ") + std::strerror(errno));
    return 0;
  }
  if (!parsed.message.empty()) {
    writeAll(STDERR_FILENO, parsed.message);
    return 2;
  }
  // Scripts match the usage line to the byte; --help lists the options.
  if (parsed.showUsage) {
    writeAll(STDERR_FILENO, vuz::kUsage);
    return 2;
  }
  if (!parsed.arguments) return 2;
  vuz::Arguments a = *parsed.arguments;
  const vuz::PixelSizes sizes = *vuz::pixelSizes(a);
  std::string inputError;
  const std::optional<vuz::PageInputs> inputs = vuz::readPageInputs(a, data, &inputError);
  if (!inputs) {
    writeAll(STDERR_FILENO, inputError);
    return 2;
  }
  if (a.parallel) {
    const int64_t parts = *a.parallel > 0 ? *a.parallel
                                          : vuz::automaticParts(sys::usableCpus(sys::affinityCpus()),
                                                                sys::usableMemory(), sizes.pxW,
                                                                sizes.pxH);
    // The credentials were taken out of the environment; the parts need them.
    if (inputs->credentials)
      setenv("VUZIZERI_CREDENCIAIS",
             (inputs->credentials->first + ":" + inputs->credentials->second).c_str(), 1);
    if (parts > 1) vuz::recordInParallel(args, a, parts);
    unsetenv("VUZIZERI_CREDENCIAIS");
  }
  // A sound file that cannot be played is refused before anything starts.
  if (!a.audioFile.empty()) {
    std::string soundError;
    media::silenceLibraryLog();
    soundTrack = media::SoundSource::open(a.audioFile, &soundError);
    if (!soundTrack) {
      writeAll(STDERR_FILENO, "--audio: não foi possível ler " + a.audioFile + ": " + soundError + "\n");
      return 2;
    }
  }
  if (a.part) a.part->recording = vuz::recordingIdentity(a, inputs->authorStyleSheet);
  const std::string extensions = process::programLibraryFolder("vuzizeri") + "/web-extensions";
  if (!inputs->headers.empty() && access(extensions.c_str(), R_OK) != 0)
    fail("extensão de cabeçalhos ausente: " + extensions + ": " + std::strerror(errno));

  // Pages draw with the faces a phone would use, from a font configuration
  // of our own, never the host's or the user's.
  const std::string fonts = data + "/fonts.conf";
  if (access(fonts.c_str(), R_OK) != 0)
    fail("configuração de fontes ausente: " + fonts + ": " + std::strerror(errno));
  setenv("FONTCONFIG_FILE", fonts.c_str(), 1);

  const unsigned memoryLimitMB = webMemoryLimitMB();
  const double startedAt = loop::mediaTime();
  const std::string folder = process::startGuardedRun(
      {a.frameByFrame ? kFrameByFrameTimeLimitSeconds : kTimeLimitSeconds,
       a.frameByFrame ? kFrameByFrameStallSeconds : 0, "tempo esgotado", a.outPath, "vuzizeri",
       int64_t{memoryLimitMB} << 20});
  keepStandardDescriptorsPrivate();
  process::confineUserFolders(folder);
  // Pages are only ever loaded inside WebKit's sandbox; where it cannot be
  // made, say so rather than let WebKit trap when it starts the web process.
  std::string sandboxError;
  if (!web::sandboxWorks(&sandboxError))
    failOnce("o isolamento das páginas (bubblewrap) não funciona aqui: " + sandboxError);

  // Room for the window at its origin; the arguments checked that it fits.
  const int screenW = static_cast<int>((vuz::kWindowOrigin + a.cssW) * a.windowScale);
  const int screenH = static_cast<int>((vuz::kWindowOrigin + a.contentH) * a.windowScale);
  progress::show("iniciando a tela virtual", true);
  std::string displayError;
  if (!display::startPrivateDisplay(screenW, screenH, folder + "/Xauthority", &displayError))
    failOnce("não foi possível iniciar a tela virtual: " + displayError);

  setenv("GDK_BACKEND", "x11", 1);
  unsetenv("WAYLAND_DISPLAY");
  setenv("GDK_SCALE", std::to_string(a.windowScale).c_str(), 1);
  setenv("GDK_DPI_SCALE", "1", 1);
  setenv("NO_AT_BRIDGE", "1", 1);
  unsetenv("GTK_THEME");
  // GLib, GTK and WebKit end on a fatal error with a breakpoint trap and a
  // message nobody sees (descriptor 2 is /dev/null by now): the message
  // becomes the run's one line instead.
  g_log_set_default_handler(
      [](const char* domain, GLogLevelFlags level, const char* message, gpointer data) {
        if (level & (G_LOG_LEVEL_ERROR | G_LOG_FLAG_FATAL))
          failOnce(std::string("erro fatal no WebKit ou no GTK: ") + (message ? message : "?"));
        g_log_default_handler(domain, level, message, data);
      },
      nullptr);
  if (!gtk_init_check(nullptr, nullptr)) failOnce("não foi possível abrir a janela");
  // A bare X server has no Xft.dpi; without it fonts and the page's pixel
  // ratio come out wrong. A phone shows pages light unless they say
  // otherwise, whatever the host's theme.
  g_object_set(gtk_settings_get_default(), "gtk-xft-dpi", 96 * 1024,
               "gtk-application-prefer-dark-theme", a.dark, nullptr);

  web::WebKitView::Options options;
  options.userAgent = vuz::kUserAgent;
  options.windowTitle = kWindowTitle;
  options.widthPoints = static_cast<int>(a.cssW);
  options.heightPoints = static_cast<int>(a.contentH);
  options.windowX = options.windowY = static_cast<int>(vuz::kWindowOrigin);
  options.memoryLimitMB = memoryLimitMB;
  options.languageTag = vuz::languageTag(getenv("LC_ALL"), getenv("LC_MESSAGES"), getenv("LANG"));
  options.pageScript = vuz::phoneScript(a.cssW, a.cssH);
  if (a.frameByFrame) options.topFrameScript = vuz::videoClockScript();
  options.sandboxReadable = {data};
  options.pageOrigin = web::originOf(a.url);
  options.headers = inputs->headers;
  options.extensionFolder = extensions;
  options.cookies = inputs->cookies;
  if (inputs->credentials)
    options.credentials = web::Credentials{options.pageOrigin, inputs->credentials->first,
                                           inputs->credentials->second};
  options.userStyleSheet = inputs->userStyleSheet;
  options.authorStyleSheet = inputs->authorStyleSheet;
  static web::WebKitView view(options);
  vuz::Platform platform;
  platform.web = &view;
  platform.now = loop::mediaTime;
  platform.asyncAfter = loop::asyncAfter;
  platform.openWriter = openOwnMp4Writer;
  platform.fail = [](std::string_view message) { failOnce(message); };
  platform.report = [](const std::string& line) { reportAndExit(line); };
  platform.deadline = startedAt + (a.frameByFrame ? kFrameByFrameTimeLimitSeconds : kTimeLimitSeconds);
  if (progress::onTerminal()) platform.progress = showProgress;
  if (a.frameByFrame) platform.heartbeat = process::noteProgress;
  static vuz::Vuzizeri vuzizeri(a, sizes, std::move(platform));

  view.setFinishedNavigationHandler([] { vuzizeri.webViewDidFinish(); });
  view.setFailedNavigationHandler([](const std::string& reason) { vuzizeri.webViewDidFail(reason); });
  view.setCookieFailedHandler([](const std::string& name, const std::string& reason) {
    failOnce("--cookie " + name + " não foi aplicado: " + reason);
  });
  // Without its web process the recording could only wait for the time limit.
  view.setWebProcessEndedHandler([] { vuzizeri.webProcessEnded(); });
  view.show();
  progress::show("carregando a página", true);
  view.load(a.url);
  gtk_main();
  return 0;
}
