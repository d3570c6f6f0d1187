// vuzizeri <url> <cssW> <cssH> <escala> <safeTopPt> <saida.mp4>
//
// Records a web page as a scrolling phone-screen video. Start-up: check the
// command line, bring up a private display, open the window with the web
// view, load the page, arm the time limit, and hand over to the event loop.

#include <fcntl.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <string>
#include <vector>

#include "common/fail.h"
#include "platform/display/private_display.h"
#include "platform/loop/main_queue.h"
#include "platform/web/webkit_view.h"
#include "vuzizeri/arguments.h"
#include "vuzizeri/mp4_writer.h"
#include "vuzizeri/recorder.h"

namespace {

constexpr char kUserAgent[] =
    "Mozilla/5.0 (iPhone; CPU iPhone OS 17_0 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like "
    "Gecko) Version/17.0 Mobile/15E148 Safari/604.1";
constexpr char kWindowTitle[] = "Gravando\u2026";
constexpr int kWindowOrigin = 80;        // points
constexpr double kTimeLimitSeconds = 120;
// X11 coordinates are 16-bit.
constexpr int64_t kMaxScreenSide = 32767;

std::atomic_flag ending = ATOMIC_FLAG_INIT;

// The report comes from the writer's thread, the time limit from the main
// thread; whichever ends the run first is the only one heard.
void claimEnding() {
  if (ending.test_and_set())
    for (;;) pause();
}

[[noreturn]] void failOnce(std::string_view message) {
  claimEnding();
  fail(message);
}

[[noreturn]] void reportAndExit(const std::string& line) {
  claimEnding();
  writeAll(STDOUT_FILENO, line);
  // GTK and WebKit are still alive on the main thread: leave without running
  // any destructor under their feet.
  _exit(0);
}

// Library chatter (accessibility bus, D-Bus, EGL, the web processes) goes to
// descriptor 2; the user hears only our own line, kept on a private copy.
void silenceLibraries() {
  int real = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (real < 0 || devNull < 0) return;
  setFailDescriptor(real);
  dup2(devNull, STDERR_FILENO);
  close(devNull);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  vuz::ParseResult parsed = vuz::parseArguments(args);
  if (parsed.showUsage) {
    writeAll(STDERR_FILENO, vuz::kUsage);
    return 2;
  }
  if (!parsed.arguments) return 2;
  const vuz::Arguments& a = *parsed.arguments;
  const vuz::PixelSizes sizes = *vuz::pixelSizes(a);

  silenceLibraries();

  // GTK 3 renders at whole window scales; a fractional scale renders at the
  // next whole one and the snapshots are resampled down to the output width.
  const int windowScale = std::max(1, static_cast<int>(std::ceil(a.scale)));
  const int64_t screenW = (kWindowOrigin + a.cssW) * windowScale;
  const int64_t screenH = (kWindowOrigin + a.contentH) * windowScale;
  if (a.cssW > kMaxScreenSide || a.contentH > kMaxScreenSide || screenW > kMaxScreenSide ||
      screenH > kMaxScreenSide)
    failOnce("não foi possível iniciar a tela virtual: tamanho grande demais");
  std::string displayError;
  if (!display::startPrivateDisplay(static_cast<int>(screenW), static_cast<int>(screenH),
                                    &displayError))
    failOnce("não foi possível iniciar a tela virtual: " + displayError);

  setenv("GDK_BACKEND", "x11", 1);
  unsetenv("WAYLAND_DISPLAY");
  setenv("GDK_SCALE", std::to_string(windowScale).c_str(), 1);
  setenv("GDK_DPI_SCALE", "1", 1);
  setenv("NO_AT_BRIDGE", "1", 1);
  if (!gtk_init_check(nullptr, nullptr)) failOnce("não foi possível abrir a janela");
  // A bare X server has no Xft.dpi; without it fonts and the page's pixel
  // ratio come out wrong.
  g_object_set(gtk_settings_get_default(), "gtk-xft-dpi", 96 * 1024, nullptr);

  static web::WebKitView view({kUserAgent, kWindowTitle, static_cast<int>(a.cssW),
                               static_cast<int>(a.contentH), kWindowOrigin, kWindowOrigin});
  vuz::Platform platform;
  platform.web = &view;
  platform.now = loop::mediaTime;
  platform.asyncAfter = loop::asyncAfter;
  platform.openWriter = vuz::openMp4Writer;
  platform.fail = [](std::string_view message) { failOnce(message); };
  platform.report = [](const std::string& line) { reportAndExit(line); };
  static vuz::Vuzizeri vuzizeri(a, sizes, std::move(platform));

  view.setFinishedNavigationHandler([] { vuzizeri.webViewDidFinish(); });
  // Without its web process the recording could only wait for the time limit.
  view.setWebProcessEndedHandler([] { failOnce("o processo web terminou"); });
  view.show();
  view.load(a.url);
  loop::asyncAfter(kTimeLimitSeconds, [] { failOnce("tempo esgotado"); });
  gtk_main();
  return 0;
}
