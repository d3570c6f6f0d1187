#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vuzizeri/movie/movie_forms.h"
#include "vuzizeri/picture/css_colour.h"
#include "vuzizeri/picture/screen_shape.h"
#include "vuzizeri/scroll/directing.h"
#include "vuzizeri/storyboard/storyboard.h"
#include "vuzizeri/target/targets.h"

namespace vuz {

inline constexpr char kUsage[] =
    "uso: vuzizeri <url> <cssW> <cssH> <escala> <safeTopPt> <saida.mp4>\n";

// Where the window's content goes on the private screen, in points.
inline constexpr int64_t kWindowOrigin = 80;
// X11 coordinates are 16-bit: the screen that holds the window must fit them.
inline constexpr int64_t kMaxScreenSide = 32767;

// The frames a second a run makes unless --fps says otherwise (or its form
// shows fewer).
inline constexpr int kDefaultFps = 60;

// The command line, parsed and checked. How the scroll is directed is the
// scroll's own part of it.
struct Arguments : ScrollDirections {
  std::string url;
  int64_t cssW = 0;
  int64_t cssH = 0;
  double scale = 0;
  int64_t safeTop = 0;
  std::string outPath;
  int64_t contentH = 0;  // cssH − safeTop: the web view's height
  // GTK 3 renders at whole window scales: a fractional scale renders at the
  // next whole one and the snapshots are resampled to the output width.
  int windowScale = 1;
  // --quadro-a-quadro: the recorder moves the page one exact frame at a time.
  bool frameByFrame = false;
  // What the page's own origin is given: request headers ("Nome: valor")
  // and cookies ("nome=valor").
  std::vector<std::string> headers;
  std::vector<std::string> cookies;
  // --proxy: every request the page makes goes through this HTTP proxy.
  std::string proxy;
  // How the page is shaped before it is filmed: selectors to hide
  // (visibility) and to remove (display), a style sheet and a script (file
  // paths), a selector to wait for, consent banners hidden, dark scheme.
  std::vector<std::string> hide;
  std::vector<std::string> remove;
  std::string styleFile;
  std::string scriptFile;
  std::string scriptText;  // the script file's text, read by the program at start
  std::string waitFor;
  bool noBanners = false;
  bool dark = false;
  // --movimento-reduzido: the page's prefers-reduced-motion is reduce.
  bool reducedMotion = false;
  // --idioma: the page's, the voice's and the keyboard's language (BCP 47);
  // empty for the one LANG gives.
  std::string language;
  // --controles-do-motor: form controls keep the engine's look, not iOS's.
  bool engineControls = false;
  // --redigir: what matches shows as a solid block in every frame, of its
  // own background or of `redactColour` (a CSS colour, when given).
  std::vector<std::string> redact;
  std::vector<std::string> redactText;  // --redigir-texto: patterns of the visible text
  std::string redactColour;
  // --pre-carregar: lazy content loaded before the three-second wait.
  bool preload = false;
  // --roteiro: the storyboard's file, and its steps once read at start.
  std::string storyboardFile;
  // --textos: a table of each {chave}'s text in each language.
  std::string textsFile;
  // --legendas: where the storyboard's captions and titles are written as
  // WebVTT (.vtt) or SubRip (.srt) once the video is.
  std::string captionsFile;
  // --zoom-automatico (or --zoom-nos-toques): the factor the camera zooms in
  // by on the storyboard's touches.
  std::optional<double> zoomOnTouches;
  // --sem-teclado: a field's focus brings up no on-screen keyboard.
  bool noKeyboard = false;
  // --sons: a click as the storyboard's finger touches, a tick a key typed.
  bool sounds = false;
  // --voz: the command that speaks narrar's lines (espeak-ng without it).
  std::optional<std::vector<std::string>> voiceCommand;
  std::optional<Storyboard> storyboard;
  // --barra-de-status: a phone's status bar on the band, showing `time`
  // (--hora). --moldura: the phone around the screen, on `frameBackground`
  // (--fundo-da-moldura; alpha 0 for none). The screen's shape is the named
  // device's (--aparelho), or else a recent iPhone's (see screenShape()).
  bool statusBar = false;
  std::string time = "9:41";
  bool frame = false;
  // --indicador-de-rolagem: iOS's scroll indicator while the page moves.
  bool scrollIndicator = false;
  CssColour frameBackground{255, 255, 255};
  // --fundo-transparente: where the page paints no background, the video
  // is transparent, its band too.
  bool transparentPage = false;
  // Whether the frames keep an alpha channel.
  bool keepsAlpha() const { return transparentPage || frameBackground.alpha < 255; }
  // Whether the movie has a sound track of the run's: --audio, --sons or
  // the storyboard's narrar (a target's silent one aside).
  bool makesSound() const;
  // --formato and --fps: the movie's form and its frames a second (30 or 60).
  const MovieForm* form = kDefaultMovieForm;
  int fps = kDefaultFps;
  // --audio: a sound track under the video. --json: the report as JSON.
  std::string audioFile;
  bool json = false;
  // --volume-alvo: the integrated loudness the sound track is levelled to
  // (LUFS).
  double targetLoudness = -16;
  // --trecho K/N: frame by frame, only the K-th (from 1) of N equal runs of
  // the video's frames, for vuzizeri-juntar to put together.
  struct Part {
    int64_t index = 0;
    int64_t count = 0;
    std::string recording;  // what makes the whole run's frames (parts.h), set at start
  };
  std::optional<Part> part;
  // --destino: where the video is going, whose rules shape the run (frame
  // by frame, its picture, length, sound and codec settings).
  std::optional<Target> target;
  // The named device's screen, when --aparelho names one with its shape.
  std::optional<ScreenShape> deviceShape;
  // --paralelo N: frame by frame, the video made in N parts at once on this
  // machine (0: as many as the machine holds, "auto").
  std::optional<int64_t> parallel;
  // Where the options end and where the output path stands among the
  // arguments parsed, for the parts' command lines.
  size_t optionsEnd = 0;
  size_t outputArgument = 0;

  // Whether any of the scroll's directions was given (a part needs the plan
  // before its first frame too): without them the page scrolls as it always
  // has.
  bool directsScroll() const {
    if (!storyboardFile.empty()) return false;  // the storyboard directs it
    return givesDirections() || part || target;
  }
};

// Output pixel sizes: scale × a CSS size, each truncated on its own.
struct PixelSizes {
  int64_t pxW = 0;
  int64_t pxH = 0;
  int64_t bandPx = 0;
  int64_t contentPx = 0;
};

// A device by name: the four numbers of the command line it stands for.
struct Device {
  std::string name;
  int64_t cssW = 0;
  int64_t cssH = 0;
  std::string scale;  // as written, parsed as the command line's is
  int64_t safeTop = 0;
  std::optional<ScreenShape> shape;
};

struct ParseResult {
  std::optional<Arguments> arguments;  // set when the run may go on
  bool showUsage = false;              // too few arguments, or an unknown option
  std::string message;                 // an option's value refused, said as it is
  bool listDevices = false;            // --aparelhos
  bool showStoryboardSchema = false;   // --esquema-do-roteiro
  bool showHelp = false;               // --help, -h
  bool showVersion = false;            // --version
};

// The devices --aparelho knows, asked for only when the command line names
// one or asks for the list.
using DeviceSource = std::function<std::vector<Device>()>;
// The same for the targets --destino knows.
using TargetSource = std::function<std::vector<Target>()>;

// `args` excludes the program name. Options come first ("--" ends them),
// each as the option table has it; --aparelho stands for the four numbers,
// so that only the URL and the output follow, as --destino does with its
// device when --aparelho is not given. Refused values give no
// arguments and no usage: the caller exits with status 2 and says nothing,
// or `message` when an option's value was refused. Refused are also the
// values whose pixel sizes, window scale or screen cannot be formed.
ParseResult parseArguments(const std::vector<std::string>& args, const DeviceSource& devices = {},
                           const TargetSource& targets = {});

// "HH:MM" as the status bar shows it: the hour without its leading zero;
// nothing when the text is not a time of day.
std::optional<std::string> barTime(const std::string& hhmm);

// A BCP 47 language tag written the usual way ("pt-br" gives "pt-BR"): a
// language of 2 or 3 letters, then a script of 4 and a region of 2 letters
// or 3 digits, each optional; nothing when `text` is not one.
std::optional<std::string> languageTagOf(const std::string& text);

// The usage line, then one line for each option, from the option table.
std::string usageWithOptions();

// Whether `word` names an option (or its alias), and whether a value
// follows it; nothing when it names none.
std::optional<bool> optionTakesValue(const std::string& word);

// truncate(scale × size) for the four sizes; nothing when a product is not a
// finite number inside the signed 64-bit range.
std::optional<PixelSizes> pixelSizes(const Arguments& arguments);

}  // namespace vuz
