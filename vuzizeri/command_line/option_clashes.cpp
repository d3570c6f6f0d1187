#include "vuzizeri/command_line/option_clashes.h"

#include <glib.h>

#include <algorithm>

#include "common/shown_text.h"
#include "vuzizeri/target/movie_rules.h"
#include "vuzizeri/target/picture_fit.h"

namespace vuz::command_line {
namespace {

std::string targetNamed(const Parse& p) { return "--destino " + p.a.target->name; }

// A form the target's store does not take: it takes MP4, and MOV when it
// takes ProRes.
bool formOffTarget(const Parse& p) {
  const MovieForm& form = *p.a.form;
  return form.madeAfterwards || form.file == media::FileType::kWebM ||
         (form.file == media::FileType::kQuickTimeMovie && !p.a.target->proRes);
}

// The target's device stands for the four numbers only when they are not
// given; false when it is wanted and the device table lacks it.
bool tookTargetDevice(Parse& p) {
  if (p.device || p.positional > 2) return true;
  const std::vector<Device> known = p.devices ? p.devices() : std::vector<Device>{};
  auto found = std::find_if(known.begin(), known.end(),
                            [&](const Device& d) { return d.name == p.a.target->device; });
  if (found == known.end()) return false;
  p.device = *found;
  return true;
}

// A refusal across options, checked once they are all read: when `holds`,
// `text` is said, or what `said` makes of the command line. Only the
// target's device row settles something (the device it found).
struct Clash {
  bool (*holds)(Parse& p);
  std::string_view text;
  std::string (*said)(const Parse& p) = nullptr;
};

// In order: the first that holds is the one said.
const Clash kClashes[] = {
    {[](Parse& p) { return p.a.duration && p.a.speed; },
     "--duracao não combina com --velocidade\n"},
    {[](Parse& p) { return p.a.duration && !p.a.storyboardFile.empty(); },
     "--duracao não combina com --roteiro: o roteiro marca o próprio tempo\n"},
    // What a target asks of the rest of the command line.
    {[](Parse& p) { return p.a.target && p.fpsGiven && p.a.fps != p.a.target->fps; }, "",
     [](const Parse& p) {
       return targetNamed(p) + " grava a " + std::to_string(p.a.target->fps) +
              " quadros por segundo, constantes\n";
     }},
    {[](Parse& p) { return p.a.target && formOffTarget(p); }, "",
     [](const Parse& p) {
       return targetNamed(p) + " grava em --formato mp4" +
              (p.a.target->proRes ? " ou mov (ProRes 422 HQ)" : "") + "\n";
     }},
    {[](Parse& p) { return p.a.target && p.a.frame && !p.a.target->frameAllowed; }, "",
     [](const Parse& p) {
       return targetNamed(p) +
              " não aceita --moldura: as prévias da App Store mostram só o app, sem o aparelho "
              "em volta\n";
     }},
    {[](Parse& p) { return p.a.target && p.a.keepsAlpha(); }, "",
     [](const Parse& p) { return targetNamed(p) + " não tem transparência\n"; }},
    {[](Parse& p) { return p.a.target && (p.a.part || p.a.parallel); }, "",
     [](const Parse& p) { return targetNamed(p) + " não combina com --trecho nem --paralelo\n"; }},
    {[](Parse& p) {
       return p.a.target && p.a.duration &&
              (*p.a.duration < p.a.target->shortestSeconds ||
               *p.a.duration > p.a.target->longestSeconds);
     },
     "",
     [](const Parse& p) {
       return targetNamed(p) + " pede um vídeo de " + decimalText(p.a.target->shortestSeconds, 3) +
              " a " + decimalText(p.a.target->longestSeconds, 3) + " s: --duracao fica fora\n";
     }},
    {[](Parse& p) { return p.a.target && !tookTargetDevice(p); }, "",
     [](const Parse& p) {
       return targetNamed(p) + ": o aparelho " + p.a.target->device +
              " do destino não está na tabela de aparelhos\n";
     }},
    // A part is a run of exact frames, and the joined parts carry no sound.
    // A target's run is frame by frame and has no parts.
    {[](Parse& p) { return p.a.part && !p.a.frameByFrame; },
     "--trecho só vale com --quadro-a-quadro\n"},
    {[](Parse& p) { return p.a.part && !p.a.audioFile.empty(); },
     "--trecho não combina com --audio\n"},
    {[](Parse& p) { return p.a.parallel && !p.a.frameByFrame; },
     "--paralelo só vale com --quadro-a-quadro\n"},
    {[](Parse& p) { return p.a.parallel && p.a.part; }, "--paralelo não combina com --trecho\n"},
    {[](Parse& p) { return p.a.parallel && !p.a.audioFile.empty(); },
     "--paralelo não combina com --audio\n"},
    // The storyboard takes the place of the directed scroll, and its waits
    // make a video whose frames are not known before it is run.
    {[](Parse& p) {
       const Arguments& a = p.a;
       return !a.storyboardFile.empty() &&
              (!a.from.empty() || !a.to.empty() || !a.pauses.empty() || a.roundTrip);
     },
     "--roteiro não combina com --de, --ate, --pausa nem --ida-e-volta: use rolar-ate e pausa no "
     "roteiro\n"},
    {[](Parse& p) { return !p.a.storyboardFile.empty() && (p.a.part || p.a.parallel); },
     "--roteiro não combina com --trecho nem --paralelo\n"},
    {[](Parse& p) { return !p.a.captionsFile.empty() && p.a.storyboardFile.empty(); },
     "--legendas só vale com --roteiro\n"},
    {[](Parse& p) { return p.a.zoomOnTouches && p.a.storyboardFile.empty(); },
     "--zoom-automatico só vale com --roteiro\n"},
    {[](Parse& p) { return !p.a.textsFile.empty() && p.a.storyboardFile.empty(); },
     "--textos só vale com --roteiro\n"},
    {[](Parse& p) { return p.a.noKeyboard && p.a.storyboardFile.empty(); },
     "--sem-teclado só vale com --roteiro\n"},
    {[](Parse& p) { return p.a.sounds && p.a.storyboardFile.empty(); },
     "--sons só vale com --roteiro\n"},
    // What the movie's form cannot carry or show; parts are joined as MP4.
    {[](Parse& p) { return p.fpsGiven && p.a.fps > p.a.form->maxFps; }, "",
     [](const Parse& p) {
       return "--formato " + std::string(p.a.form->name) + " vai até --fps " +
              std::to_string(p.a.form->maxFps) + "\n";
     }},
    {[](Parse& p) { return !p.a.form->sound && (!p.a.audioFile.empty() || p.a.sounds); }, "",
     [](const Parse& p) {
       return "--formato " + std::string(p.a.form->name) + " não tem som: não combina com " +
              (p.a.audioFile.empty() ? "--sons" : "--audio") + "\n";
     }},
    // What only shows with another option is refused without it. A target
    // that centres the screen shows the background around it too.
    {[](Parse& p) {
       return p.frameBackgroundGiven && !p.a.frame &&
              !(p.a.target && p.a.target->fit == Target::Fit::kContain);
     },
     "--fundo-da-moldura só vale com --moldura\n"},
    {[](Parse& p) { return p.timeGiven && !p.a.statusBar; },
     "--hora só vale com --barra-de-status\n"},
    {[](Parse& p) { return p.a.keepsAlpha() && !p.a.form->alpha; }, "",
     [](const Parse&) {
       return "um fundo transparente precisa de --formato " +
              movieFormNames([](const MovieForm& f) { return f.alpha; }) + "\n";
     }},
    {[](Parse& p) { return !p.a.form->joinable && (p.a.part || p.a.parallel); }, "",
     [](const Parse&) {
       return "--trecho e --paralelo gravam só em --formato " +
              movieFormNames([](const MovieForm& f) { return f.joinable; }) + "\n";
     }},
};

}  // namespace

std::string firstClash(Parse& p) {
  for (const Clash& clash : kClashes)
    if (clash.holds(p)) return clash.said ? clash.said(p) : std::string(clash.text);
  return "";
}

// A target's run is frame by frame at its rate, and a form shows at most
// its own rate.
void settle(Arguments& a) {
  if (a.target) {
    a.fps = a.target->fps;
    a.frameByFrame = true;
  }
  a.fps = std::min(a.fps, a.form->maxFps);
}

// The options, up to "--" or the first word that is none; `first` is left
// at the word after them. An unknown one, or one without its value, is a

std::string pageClash(const Arguments& a) {
  const char* peeked = g_uri_peek_scheme(a.url.c_str());
  const std::string scheme = peeked ? peeked : "";
  // WebKit runs it in no page and loads nothing: the wait would last its limit.
  if (scheme == "javascript")
    return "um URL javascript: não é uma página: " + shownText(a.url) + "\n";
  if ((!a.headers.empty() || !a.cookies.empty()) && scheme != "http" && scheme != "https")
    return "--cabecalho e --cookie valem só para páginas http e https\n";
  return "";
}

std::string coverClash(const Arguments& a, const PixelSizes& sizes) {
  if (!a.target || a.target->fit != Target::Fit::kCover) return "";
  const std::optional<PictureFit> fit = fitPicture(sizes.pxW, sizes.pxH, *a.target);
  if (fit && fit->cut <= kMostCut) return "";
  return "--destino " + a.target->name + " pede " + std::to_string(a.target->width) + "×" +
         std::to_string(a.target->height) + ": uma tela de " + std::to_string(sizes.pxW) + "×" +
         std::to_string(sizes.pxH) + " perderia " + decimalText(fit ? fit->cut * 100 : 100, 1) +
         " % de um lado (o máximo é 1 %)\n";
}

}  // namespace vuz::command_line
