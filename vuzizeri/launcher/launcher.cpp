#include "vuzizeri/launcher/launcher.h"

#include <gtk/gtk.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "common/fail.h"
#include "common/output_path.h"
#include "common/progress_line.h"
#include "common/shown_text.h"
#include "platform/display/private_display.h"
#include "platform/loop/main_queue.h"
#include "platform/media/av_error.h"
#include "platform/process/program_data.h"
#include "platform/process/run_folder.h"
#include "platform/process/run_guard.h"
#include "platform/system/resources.h"
#include "platform/web/origin.h"
#include "platform/web/page_confinement.h"
#include "vuzizeri/capture/capture_drivers.h"
#include "vuzizeri/capture/video_clock.h"
#include "vuzizeri/launcher/parallel.h"
#include "vuzizeri/launcher/parts.h"
#include "vuzizeri/launcher/progress_display.h"
#include "vuzizeri/launcher/run_ending.h"
#include "vuzizeri/launcher/staged_writer.h"
#include "vuzizeri/movie/movie_writer.h"
#include "vuzizeri/recorder/controls.h"
#include "vuzizeri/recorder/page_shaping.h"
#include "vuzizeri/recorder/phone.h"
#include "vuzizeri/sound/narration.h"
#include "vuzizeri/storyboard/steps.h"
#include "vuzizeri/target/movie_rules.h"

namespace vuz {
namespace {

constexpr char kWindowTitle[] = "Gravando\u2026";
constexpr double kTimeLimitSeconds = 120;
// Frame by frame, a slow machine makes a 60 s page in many minutes: the run
// ends when it has made no frame for half a minute, and in any case after
// half an hour.
constexpr double kFrameByFrameTimeLimitSeconds = 30 * 60;
constexpr double kFrameByFrameStallSeconds = 30;
// A GIF is made from the recorded frames after the recording, and may take
// as long again: the limit leaves it that much more time.
constexpr double kGifMakingSeconds = 5 * 60;
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

unsigned webMemoryLimitMB() {
  // Parts made at once on this machine share it.
  const char* parts = getenv(kPartsOnMachineVariable);
  const double sharing = parts ? std::clamp(std::atof(parts), 1.0, 64.0) : 1.0;
  const double shareMB =
      static_cast<double>(sys::usableMemory()) * kWebMemoryShare / sharing / (1 << 20);
  return static_cast<unsigned>(std::clamp<double>(shareMB, kMinWebMemoryMB, kMaxWebMemoryMB));
}

}  // namespace

Launcher::Launcher(std::vector<std::string> args)
    : args_(std::move(args)), data_(process::programDataFolder("vuzizeri")) {}

// The device table, read once, when the command line names a device or asks
// for the list.
const std::vector<Device>& Launcher::devices() {
  if (devices_) return *devices_;
  const std::string path = data_ + "/aparelhos.tsv";
  std::string text, unread;
  if (readFile(path, kPageFileMaxBytes, &text, &unread)) devices_ = parseDevices(text);
  if (!devices_) fail("tabela de aparelhos ausente ou ilegível: " + path);
  return *devices_;
}

// The target table, read once, when the command line names a target.
const std::vector<Target>& Launcher::targets() {
  if (targets_) return *targets_;
  std::string error;
  targets_ = readTargetTable(data_, &error);
  if (!targets_) fail(error);
  return *targets_;
}

std::optional<int> Launcher::readCommandLine() {
  ParseResult parsed = parseArguments(
      args_, [this]() -> const std::vector<Device>& { return devices(); },
      [this]() -> const std::vector<Target>& { return targets(); });
  if (parsed.listDevices || parsed.showHelp || parsed.showVersion || parsed.showStoryboardSchema) {
    const std::string text = parsed.listDevices            ? deviceList(devices())
                             : parsed.showStoryboardSchema ? storyboardSchema()
                             : parsed.showHelp             ? usageWithOptions()
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
    writeAll(STDERR_FILENO, kUsage);
    return 2;
  }
  if (!parsed.arguments) return 2;
  arguments_ = *parsed.arguments;
  sizes_ = pixelSizes(arguments_);
  if (const std::string clash = outputAmongInputs(arguments_); !clash.empty()) {
    writeAll(STDERR_FILENO, clash);
    return 2;
  }
  // The captions are written once the video is: where they cannot be, say
  // so now, not after the whole recording.
  if (!arguments_.captionsFile.empty()) {
    std::string reason;
    std::optional<StagingFile> probe = createStagingFile(arguments_.captionsFile, &reason);
    if (!probe) {
      writeAll(STDERR_FILENO, "--legendas: não é possível gravar " +
                                  shownText(arguments_.captionsFile) + ": " + reason + "\n");
      return 2;
    }
    removeStagingFile(*probe);
  }
  std::string inputError;
  std::optional<PageInputs> inputs = readPageInputs(arguments_, data_, &inputError);
  if (!inputs) {
    writeAll(STDERR_FILENO, inputError);
    return 2;
  }
  inputs_ = std::move(*inputs);
  return std::nullopt;
}

void Launcher::recordInPartsIfAsked() {
  const Arguments& a = arguments_;
  if (!a.parallel) return;
  const int64_t parts = *a.parallel > 0
                            ? *a.parallel
                            : automaticParts(sys::usableCpus(sys::affinityCpus()),
                                             sys::usableMemory(), sizes_->pxW, sizes_->pxH);
  if (parts <= 1) return;
  // The credentials were taken out of the environment; the parts need them.
  if (inputs_.credentials)
    setenv("VUZIZERI_CREDENCIAIS",
           (inputs_.credentials->first + ":" + inputs_.credentials->second).c_str(), 1);
  recordInParallel(args_, a, parts, stageOutputOrFail(a.outPath));
}

std::optional<int> Launcher::openSound() {
  Arguments& a = arguments_;
  if (!a.makesSound()) return std::nullopt;
  std::string soundError;
  media::silenceLibraryLog();
  cues_ = std::make_shared<media::SoundCues>();
  if (a.storyboard) {
    const VoiceSettings voice{a.voiceCommand, runLanguage(a)};
    if (!speakNarrations(a.storyboard->filmed, voice, &voices_, &soundError)) {
      writeAll(STDERR_FILENO, soundError);
      return 1;
    }
  }
  sound_ = media::openMix(a.audioFile, a.targetLoudness, cues_, &soundError);
  if (sound_) return std::nullopt;
  writeAll(
      STDERR_FILENO,
      (a.audioFile.empty() ? "--sons: " : "--audio: não foi possível ler " + a.audioFile + ": ") +
          soundError + "\n");
  return 2;
}

void Launcher::start() {
  if (arguments_.part)
    arguments_.part->recording = recordingIdentity(arguments_, inputs_.authorStyleSheet);
  checkDataFiles();
  startGuardAndDisplay();
  startGtk();
  view_ = std::make_unique<web::WebKitView>(viewOptions());
  recorder_ = std::make_unique<Vuzizeri>(arguments_, *sizes_, platform(), captureDriverFor);
  Vuzizeri* recorder = recorder_.get();
  view_->setFinishedNavigationHandler([recorder] { recorder->webViewDidFinish(); });
  view_->setFailedNavigationHandler(
      [recorder](const std::string& reason) { recorder->webViewDidFail(reason); });
  view_->setCookieFailedHandler([](const std::string& name, const std::string& reason) {
    failOnce("--cookie " + name + " não foi aplicado: " + reason);
  });
  // Without its web process the recording could only wait for the time limit.
  view_->setWebProcessEndedHandler([recorder] { recorder->webProcessEnded(); });
  view_->show();
  progress::show("carregando a página", true);
  view_->load(arguments_.url);
}

void Launcher::checkDataFiles() {
  extensions_ = process::programLibraryFolder("vuzizeri") + "/web-extensions";
  if (!inputs_.headers.empty() && access(extensions_.c_str(), R_OK) != 0)
    fail("extensão de cabeçalhos ausente: " + extensions_ + ": " + std::strerror(errno));
  // Pages draw with the faces a phone would use, from a font configuration
  // of our own, never the host's or the user's.
  const std::string fonts = data_ + "/fonts.conf";
  if (access(fonts.c_str(), R_OK) != 0)
    fail("configuração de fontes ausente: " + fonts + ": " + std::strerror(errno));
  setenv("FONTCONFIG_FILE", fonts.c_str(), 1);
}

void Launcher::startGuardAndDisplay() {
  const Arguments& a = arguments_;
  memoryLimitMB_ = webMemoryLimitMB();
  startedAt_ = loop::mediaTime();
  staging_ = stageOutputOrFail(a.outPath);
  const double limit = (a.frameByFrame ? kFrameByFrameTimeLimitSeconds : kTimeLimitSeconds) +
                       (a.form->madeAfterwards ? kGifMakingSeconds : 0);
  folder_ = process::startGuardedRun({limit, a.frameByFrame ? kFrameByFrameStallSeconds : 0,
                                      "tempo esgotado", staging_, "vuzizeri",
                                      int64_t{memoryLimitMB_} << 20});
  keepStandardDescriptorsPrivate();
  process::confineUserFolders(folder_);
  // Pages are only ever loaded inside WebKit's sandbox; where it cannot be
  // made, say so rather than let WebKit trap when it starts the web process.
  std::string sandboxError;
  if (!web::sandboxWorks(&sandboxError))
    failOnce("o isolamento das páginas (bubblewrap) não funciona aqui: " + sandboxError);

  // Room for the window at its origin; the arguments checked that it fits.
  const int screenW = static_cast<int>((kWindowOrigin + a.cssW) * a.windowScale);
  const int screenH = static_cast<int>((kWindowOrigin + a.contentH) * a.windowScale);
  progress::show("iniciando a tela virtual", true);
  std::string displayError;
  if (!display::startPrivateDisplay(screenW, screenH, folder_ + "/Xauthority", &displayError))
    failOnce("não foi possível iniciar a tela virtual: " + displayError);
}

void Launcher::startGtk() {
  setenv("GDK_BACKEND", "x11", 1);
  unsetenv("WAYLAND_DISPLAY");
  setenv("GDK_SCALE", std::to_string(arguments_.windowScale).c_str(), 1);
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
  // GTK takes the user's locale; numbers the libraries read from text (the
  // encoders' options: x264 reads "ratetol=0.1" with atof) must not follow
  // a decimal comma.
  setlocale(LC_NUMERIC, "C");
  // A bare X server has no Xft.dpi; without it fonts and the page's pixel
  // ratio come out wrong. A phone shows pages light unless they say
  // otherwise, whatever the host's theme. The engine tells pages that
  // motion is reduced when GTK's animations are off.
  g_object_set(gtk_settings_get_default(), "gtk-xft-dpi", 96 * 1024,
               "gtk-application-prefer-dark-theme", arguments_.dark, "gtk-enable-animations",
               !arguments_.reducedMotion, nullptr);
}

web::WebKitView::Options Launcher::viewOptions() const {
  const Arguments& a = arguments_;
  web::WebKitView::Options options;
  options.userAgent = kUserAgent;
  options.windowTitle = kWindowTitle;
  options.widthPoints = static_cast<int>(a.cssW);
  options.heightPoints = static_cast<int>(a.contentH);
  options.windowX = options.windowY = static_cast<int>(kWindowOrigin);
  options.memoryLimitMB = memoryLimitMB_;
  options.languageTag = runLanguage(a);
  options.pageScript = phoneScript(a.cssW, a.cssH) + ";\n" + redactionScript(a);
  // Under the redaction's rules, which must win.
  options.everyFrameStyleSheet = inputs_.controlsStyleSheet + redactionStyleSheet(a);
  if (!a.engineControls) options.ownWorldScript = dateFieldsScript(options.languageTag);
  if (!a.redactText.empty())
    options.pageMessage = [&a](const std::string& posted) {
      const std::string failure = redactionFailure(a, posted);
      if (!failure.empty()) failOnce(failure);
    };
  if (a.frameByFrame) options.topFrameScript = videoClockScript();
  options.sandboxReadable = {data_};
  options.pageOrigin = web::originOf(a.url);
  options.headers = inputs_.headers;
  options.extensionFolder = extensions_;
  options.cookies = inputs_.cookies;
  options.proxy = arguments_.proxy;
  if (inputs_.credentials)
    options.credentials = web::Credentials{options.pageOrigin, inputs_.credentials->first,
                                           inputs_.credentials->second};
  options.userStyleSheet = inputs_.userStyleSheet;
  options.authorStyleSheet = inputs_.authorStyleSheet;
  options.transparentBackground = a.transparentPage;
  return options;
}

Platform Launcher::platform() {
  const bool frameByFrame = arguments_.frameByFrame;
  Platform platform;
  platform.web = view_.get();
  platform.now = loop::mediaTime;
  platform.asyncAfter = loop::asyncAfter;
  platform.openWriter = [this](const MovieRequest& request, std::string* error) {
    return openWriter(request, error);
  };
  platform.fail = [](std::string_view message) { failOnce(message); };
  platform.report = [](const std::string& line) { reportAndExit(line); };
  if (const std::optional<Target>& target = arguments_.target) {
    platform.checkTarget = [target = *target](const std::string& path) {
      std::string error;
      const std::optional<media::MovieFacts> facts = media::readMovieFacts(path, &error);
      if (!facts) failOnce("o vídeo feito não se lê como um leitor o leria: " + error);
      std::vector<std::string> lines;
      for (const Finding& finding : checkMovie(*facts, target))
        lines.push_back(findingLine(finding, target));
      return lines;
    };
    platform.reportBroken = [](const std::string& line, const std::vector<std::string>& findings) {
      reportBrokenAndExit(line, findings);
    };
  }
  platform.deadline =
      startedAt_ + (frameByFrame ? kFrameByFrameTimeLimitSeconds : kTimeLimitSeconds);
  if (progress::onTerminal()) platform.progress = showProgress;
  if (frameByFrame) platform.heartbeat = process::noteProgress;
  if (cues_ && arguments_.sounds)
    platform.cueSound = [cues = cues_](double seconds, bool key) {
      cues->add(media::fingerCue(seconds, key));
    };
  if (cues_ && !voices_.empty())
    platform.cueVoice = [cues = cues_, voices = voices_](double seconds, int line) {
      const auto voice = voices.find(line);
      if (voice == voices.end()) return;
      media::SoundCue cue = voice->second;
      cue.start = std::llround(seconds * media::kSoundRate);
      cues->add(std::move(cue));
    };
  return platform;
}

// The movie goes to the staging file the guard removes should the run end
// before the movie is moved into place.
std::unique_ptr<RecordingWriter> Launcher::openWriter(const MovieRequest& request,
                                                      std::string* error) {
  MovieRequest staged = request;
  staged.path = staging_.path;
  return writeThroughStaging(
      openMovieWriter(staged, request.withSound ? std::move(sound_) : nullptr, error), staging_,
      request.path);
}

int runVuzizeri(int argc, char** argv) {
  reopenClosedStandardDescriptors();
  Launcher launcher({argv + (argc > 0 ? 1 : 0), argv + argc});
  if (std::optional<int> status = launcher.readCommandLine()) return *status;
  launcher.recordInPartsIfAsked();
  if (std::optional<int> status = launcher.openSound()) return *status;
  launcher.start();
  gtk_main();
  return 0;
}

}  // namespace vuz
