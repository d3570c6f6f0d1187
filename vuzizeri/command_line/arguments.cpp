#include "vuzizeri/command_line/arguments.h"

#include <glib.h>
#include <jsc/jsc.h>

#include <locale.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <regex>

#include "common/number_syntax.h"
#include "common/shown_text.h"
#include "vuzizeri/command_line/devices.h"
#include "vuzizeri/command_line/option_clashes.h"
#include "vuzizeri/sound/narration.h"
#include "vuzizeri/sound/voice.h"
#include "vuzizeri/storyboard/steps.h"
#include "vuzizeri/target/movie_rules.h"

namespace vuz {

namespace {

std::optional<int64_t> truncatedProduct(double scale, int64_t size) {
  double product = scale * static_cast<double>(size);
  // 2^63 is the first double outside the range; −2^63 is still inside.
  if (!std::isfinite(product) || product >= 0x1p63 || product < -0x1p63) return std::nullopt;
  return static_cast<int64_t>(product);
}

// ⌈scale⌉, when the screen that holds the window at that scale fits X11's
// coordinates. Every product is checked before it is formed.
std::optional<int> windowScaleFor(const Arguments& a) {
  const double scale = std::ceil(a.scale);
  if (!(scale >= 1 && scale <= kMaxScreenSide) || a.cssW > kMaxScreenSide ||
      a.contentH > kMaxScreenSide)
    return std::nullopt;
  const int windowScale = static_cast<int>(scale);
  if ((kWindowOrigin + a.cssW) * windowScale > kMaxScreenSide ||
      (kWindowOrigin + a.contentH) * windowScale > kMaxScreenSide)
    return std::nullopt;
  return windowScale;
}

}  // namespace

namespace {

bool isToken(std::string_view text) {
  // RFC 9110's token: what a header or cookie name may be made of.
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("!#$%&'*+-.^_`|~", c);
  });
}

// Whether `pattern` is a JavaScript regular expression, read with the u flag
// as the page reads it, that matches some text other than the empty one. The
// engine the page runs judges it: no other knows lookbehind, named groups and
// Unicode properties as it does.
bool judgedByTheEngine(const std::string& pattern) {
  g_autoptr(JSCContext) context = jsc_context_new();
  g_autoptr(JSCValue) text = jsc_value_new_string(context, pattern.c_str());
  jsc_context_set_value(context, "p", text);
  g_autoptr(JSCValue) answer = jsc_context_evaluate(
      context,
      "(function () { try { new RegExp(p, 'u'); return !new RegExp('^(?:' + p + ')$', 'u')"
      ".test(''); } catch (e) { return false; } })()",
      -1);
  return jsc_value_is_boolean(answer) && jsc_value_to_boolean(answer);
}

// The engine leaves threads and state behind that a later fork (the run's
// guard) would break, and the web view's own use of it with them: it runs
// in a child of its own.
bool matchesSomeText(const std::string& pattern) {
  struct sigaction previous = {};
  sigaction(SIGCHLD, nullptr, &previous);
  // An ignored SIGCHLD would reap the child before it could be waited for.
  const bool ignored = previous.sa_handler == SIG_IGN;
  if (ignored) signal(SIGCHLD, SIG_DFL);
  const pid_t child = fork();
  if (child == 0) _exit(judgedByTheEngine(pattern) ? 0 : 1);
  int status = 1;
  if (child > 0)
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  if (ignored) sigaction(SIGCHLD, &previous, nullptr);
  return child > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool isPrintable(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) >= 0x20 && c != 0x7f; });
}

// "Nome: valor", with the value's surrounding blanks dropped.
std::optional<std::string> headerLine(std::string_view text) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos || !isToken(text.substr(0, colon))) return std::nullopt;
  std::string_view value = text.substr(colon + 1);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  if (!isPrintable(value)) return std::nullopt;
  return std::string(text.substr(0, colon)) + ": " + std::string(value);
}

ParseResult usage() {
  ParseResult r;
  r.showUsage = true;
  return r;
}

ParseResult refused(std::string message) {
  ParseResult r;
  r.message = std::move(message);
  return r;
}

bool isCookie(std::string_view text) {
  const size_t equals = text.find('=');
  return equals != std::string_view::npos && isToken(text.substr(0, equals)) && isPrintable(text) &&
         text.find(';') == std::string_view::npos;
}

// A number in the scale's syntax within [low, high], or above 0 when `low`
// is 0 and `zeroAllowed` is not.
std::optional<double> numberWithin(const std::string& text, double low, double high,
                                   bool zeroAllowed = true) {
  std::optional<double> n = parseScale(text);
  if (!n || !(*n >= low && *n <= high) || (!zeroAllowed && !(*n > 0))) return std::nullopt;
  return n;
}

// What a video can use: a scroll of 1 to 100000 CSS px/s, holds of at most
// the longest video, eases of at most 10 s.
constexpr double kMinSpeed = 1, kMaxSpeed = 100000;
constexpr double kMaxPauseSeconds = 600;
constexpr double kMaxEaseSeconds = 10;
// Sound levelled quieter than broadcast's -23 LUFS or louder than music's
// loudest masters is a slip of the hand.
constexpr double kMinLoudness = -40, kMaxLoudness = -6;
// Parts made at once on one machine.
constexpr int64_t kMaxParts = 64;

using command_line::Parse;

// Set when the option ends the parsing, with what comes of it.
using Ending = std::optional<ParseResult>;

// One option: its name (and short alias), the value that follows it as the
// usage shows it (none for a flag), its line of help, and what it does.
struct Option {
  std::string_view name;
  std::string_view alias;
  std::string_view value;
  std::string_view help;
  Ending (*apply)(Parse& p, const std::string& value);
};

// An option whose value names something (a selector, a file): an empty one
// is a usage error.
Ending named(std::vector<std::string>& list, const std::string& value) {
  if (value.empty()) return usage();
  list.push_back(value);
  return {};
}
Ending named(std::string& field, const std::string& value) {
  if (value.empty()) return usage();
  field = value;
  return {};
}

// An option that only switches something on.
template <auto field>
Ending flag(Parse& p, const std::string&) {
  p.a.*field = true;
  return {};
}

Ending ending(bool ParseResult::*flag) {
  Ending r{std::in_place};
  (*r).*flag = true;
  return r;
}

const Option kOptions[] = {
    {"--quadro-a-quadro", "", "", "cada quadro na posição exata, o tempo que levar",
     flag<&Arguments::frameByFrame>},
    {"--aparelho", "", "NOME",
     "cssW, cssH, escala e safeTopPt de um aparelho; seguem <url> <saida.mp4>",
     [](Parse& p, const std::string& value) -> Ending {
       const std::vector<Device> known = p.devices ? p.devices() : std::vector<Device>{};
       auto found = std::find_if(known.begin(), known.end(),
                                 [&](const Device& d) { return d.name == value; });
       if (found == known.end())
         return refused("aparelho desconhecido: " + shownText(value) +
                        " (vuzizeri --aparelhos lista os nomes)\n");
       p.device = *found;
       return {};
     }},
    {"--destino", "", "NOME",
     "grava o que NOME aceita: tamanho, 30 quadros/s, som, duração; seguem <url> <saida>",
     [](Parse& p, const std::string& value) -> Ending {
       const std::vector<Target> known = p.targets ? p.targets() : std::vector<Target>{};
       const Target* found = targetNamed(known, value);
       if (!found)
         return refused("destino desconhecido: " + shownText(value) + " (" + targetNames(known) +
                        ")\n");
       p.a.target = *found;
       return {};
     }},
    {"--aparelhos", "", "", "lista os aparelhos conhecidos e sai",
     [](Parse&, const std::string&) { return ending(&ParseResult::listDevices); }},
    {"--esquema-do-roteiro", "", "", "mostra o JSON Schema das linhas de --roteiro e sai",
     [](Parse&, const std::string&) { return ending(&ParseResult::showStoryboardSchema); }},
    {"--cabecalho", "", "'Nome: valor'", "um cabeçalho nos pedidos à origem da página (repetível)",
     [](Parse& p, const std::string& value) -> Ending {
       auto header = headerLine(value);
       if (!header) return refused("cabeçalho inválido: " + shownText(value) + "\n");
       p.a.headers.push_back(*header);
       return {};
     }},
    {"--cookie", "", "nome=valor", "um cookie para o host da página (repetível)",
     [](Parse& p, const std::string& value) -> Ending {
       if (!isCookie(value)) return refused("cookie inválido: " + shownText(value) + "\n");
       p.a.cookies.push_back(value);
       return {};
     }},
    {"--proxy", "", "http://HOST:PORTA", "todos os pedidos da página por este proxy HTTP",
     [](Parse& p, const std::string& value) -> Ending {
       g_autoptr(GUri) uri = g_uri_parse(value.c_str(), G_URI_FLAGS_NONE, nullptr);
       if (!uri || g_strcmp0(g_uri_get_scheme(uri), "http") != 0 || !g_uri_get_host(uri) ||
           !*g_uri_get_host(uri) || g_uri_get_port(uri) <= 0)
         return refused("--proxy precisa de http://HOST:PORTA: " + shownText(value) + "\n");
       p.a.proxy = value;
       return {};
     }},
    {"--esconder", "", "SELETOR", "esconde o que casar, deixando o lugar (repetível)",
     [](Parse& p, const std::string& value) { return named(p.a.hide, value); }},
    {"--remover", "", "SELETOR", "tira o que casar do layout (repetível)",
     [](Parse& p, const std::string& value) { return named(p.a.remove, value); }},
    {"--estilo", "", "ARQUIVO.css", "uma folha de estilo sua na página",
     [](Parse& p, const std::string& value) { return named(p.a.styleFile, value); }},
    {"--script", "", "ARQUIVO.js", "um script seu, rodado na página carregada",
     [](Parse& p, const std::string& value) { return named(p.a.scriptFile, value); }},
    {"--esperar-elemento", "", "SELETOR", "a espera de 3 s começa quando ele aparece (até 30 s)",
     [](Parse& p, const std::string& value) { return named(p.a.waitFor, value); }},
    {"--sem-banners", "", "", "esconde os banners de consentimento de cookies comuns",
     flag<&Arguments::noBanners>},
    {"--esquema", "", "claro|escuro", "o esquema de cores que a página vê (claro por padrão)",
     [](Parse& p, const std::string& value) -> Ending {
       if (value != "claro" && value != "escuro")
         return refused("esquema desconhecido: " + shownText(value) + " (claro ou escuro)\n");
       p.a.dark = value == "escuro";
       return {};
     }},
    {"--idioma", "", "ETIQUETA",
     "o idioma (BCP 47, como pt-BR) da página, da data, da voz e do teclado (o de LANG sem ela)",
     [](Parse& p, const std::string& value) -> Ending {
       std::optional<std::string> tag = languageTagOf(value);
       if (!tag)
         return refused("--idioma precisa de uma etiqueta BCP 47, como pt-BR ou en-US: " +
                        shownText(value) + "\n");
       p.a.language = *tag;
       return {};
     }},
    {"--movimento-reduzido", "", "", "a página vê prefers-reduced-motion: reduce",
     flag<&Arguments::reducedMotion>},
    {"--controles-do-motor", "", "", "botões, campos e seletores com a cara do motor, não a do iOS",
     flag<&Arguments::engineControls>},
    {"--redigir", "", "SELETOR",
     "cobre o que casar com um bloco do seu fundo em todo quadro (repetível)",
     [](Parse& p, const std::string& value) { return named(p.a.redact, value); }},
    {"--redigir-texto", "", "REGEX",
     "cobre o texto visível que casar (sintaxe do JavaScript) em todo quadro (repetível)",
     [](Parse& p, const std::string& value) -> Ending {
       // An empty match would cover nothing.
       if (!g_utf8_validate(value.data(), static_cast<gssize>(value.size()), nullptr) ||
           value.empty() || !matchesSomeText(value))
         return refused("--redigir-texto precisa de uma expressão regular que case algum texto: " +
                        shownText(value) + "\n");
       p.a.redactText.push_back(value);
       return {};
     }},
    {"--redigir-cor", "", "COR", "a cor dos blocos de --redigir (o fundo do elemento por padrão)",
     [](Parse& p, const std::string& value) -> Ending {
       const std::optional<CssColour> colour = parseCssColour(value);
       if (!colour || colour->alpha != 255)
         return refused("--redigir-cor precisa de uma cor CSS opaca: " + shownText(value) + "\n");
       p.a.redactColour = "rgb(" + std::to_string(colour->red) + ", " +
                          std::to_string(colour->green) + ", " + std::to_string(colour->blue) + ")";
       return {};
     }},
    {"--pre-carregar", "", "", "percorre a página antes de gravar, para carregar o que ela adia",
     flag<&Arguments::preload>},
    {"--velocidade", "", "PX", "a rolagem a PX pixels CSS por segundo",
     [](Parse& p, const std::string& value) -> Ending {
       p.a.speed = numberWithin(value, kMinSpeed, kMaxSpeed);
       if (!p.a.speed)
         return refused(
             "--velocidade precisa de um número de 1 a 100000 (px/s): " + shownText(value) + "\n");
       return {};
     }},
    {"--de", "", "SELETOR", "começa com o topo do elemento no topo da tela",
     [](Parse& p, const std::string& value) { return named(p.a.from, value); }},
    {"--ate", "", "SELETOR", "termina com o topo do elemento no topo da tela",
     [](Parse& p, const std::string& value) { return named(p.a.to, value); }},
    {"--pausa", "", "SELETOR=SEG", "para SEG segundos quando o elemento chega ao topo (repetível)",
     [](Parse& p, const std::string& value) -> Ending {
       // The last '=': selectors may hold one ([data-x=y]).
       const size_t equals = value.rfind('=');
       std::optional<double> seconds;
       if (equals != std::string::npos && equals > 0)
         seconds = numberWithin(value.substr(equals + 1), 0, kMaxPauseSeconds, false);
       if (!seconds)
         return refused("--pausa precisa de SELETOR=SEGUNDOS, com segundos acima de 0 e até 600: " +
                        shownText(value) + "\n");
       p.a.pauses.push_back({value.substr(0, equals), *seconds});
       return {};
     }},
    {"--duracao", "", "SEG", "a rolagem medida para o vídeo durar SEG segundos",
     [](Parse& p, const std::string& value) -> Ending {
       p.a.duration = numberWithin(value, 1, kMaxVideoSeconds);
       if (!p.a.duration)
         return refused("--duracao precisa de segundos, de 1 a 600: " + shownText(value) + "\n");
       return {};
     }},
    {"--ida-e-volta", "", "", "no fim, volta ao começo: o vídeo termina como começou",
     flag<&Arguments::roundTrip>},
    {"--suave", "", "SEG", "partidas, paradas e pausas aceleram e freiam em SEG segundos",
     [](Parse& p, const std::string& value) -> Ending {
       std::optional<double> seconds = numberWithin(value, 0, kMaxEaseSeconds);
       if (!seconds)
         return refused("--suave precisa de segundos, de 0 a 10: " + shownText(value) + "\n");
       p.a.ease = *seconds;
       return {};
     }},
    {"--roteiro", "", "ARQUIVO", "passos em ordem, um por linha (até 1 MiB), destes:",
     [](Parse& p, const std::string& value) { return named(p.a.storyboardFile, value); }},
    {"--textos", "", "ARQUIVO.tsv",
     "{chave} no texto dos passos do roteiro vem desta tabela, na coluna do idioma",
     [](Parse& p, const std::string& value) { return named(p.a.textsFile, value); }},
    {"--zoom-automatico", "--zoom-nos-toques", "[FATOR]",
     "a câmera aproxima FATOR (2) vezes os toques seguidos do roteiro e se afasta na calma",
     [](Parse& p, const std::string& value) -> Ending {
       p.a.zoomOnTouches = value.empty() ? kAutomaticZoom : numberWithin(value, kMinZoom, kMaxZoom);
       if (!p.a.zoomOnTouches)
         return refused("--zoom-automatico precisa de um fator de 1,25 a 4: " + shownText(value) +
                        "\n");
       return {};
     }},
    {"--sem-teclado", "", "", "o roteiro não mostra o teclado do iPhone quando um campo tem o foco",
     flag<&Arguments::noKeyboard>},
    {"--voz", "", "COMANDO",
     "quem diz o narrar do roteiro: lê o texto na entrada e grava um WAV em {saida}",
     [](Parse& p, const std::string& value) -> Ending {
       std::string why;
       p.a.voiceCommand = voiceCommand(value, &why);
       if (!p.a.voiceCommand) return refused(why + "\n");
       return {};
     }},
    {"--sons", "", "",
     "um clique suave a cada toque do roteiro e um tique a cada tecla que digitar digita",
     flag<&Arguments::sounds>},
    {"--legendas", "", "ARQUIVO.vtt|.srt",
     "as legendas e os títulos do roteiro, com seus tempos, num arquivo ao lado do vídeo",
     [](Parse& p, const std::string& value) -> Ending {
       auto endsWith = [&](const char* end) {
         const std::string e(end);
         if (value.size() <= e.size()) return false;
         std::string tail = value.substr(value.size() - e.size());
         std::transform(tail.begin(), tail.end(), tail.begin(),
                        [](unsigned char c) { return std::tolower(c); });
         return tail == e;
       };
       if (!endsWith(".vtt") && !endsWith(".srt"))
         return refused("--legendas grava .vtt ou .srt: " + shownText(value) + "\n");
       p.a.captionsFile = value;
       return {};
     }},
    {"--audio", "", "ARQUIVO", "uma trilha sonora, repetida ou cortada, sumindo nos 2 s finais",
     [](Parse& p, const std::string& value) { return named(p.a.audioFile, value); }},
    {"--volume-alvo", "", "LUFS",
     "o som (--audio, --sons, narrar) nivelado a LUFS de sonoridade integrada (-16 sem ela)",
     [](Parse& p, const std::string& value) -> Ending {
       std::optional<double> loudness = numberWithin(value, kMinLoudness, kMaxLoudness);
       if (!loudness)
         return refused("--volume-alvo precisa de LUFS, de -40 a -6: " + shownText(value) + "\n");
       p.a.targetLoudness = *loudness;
       return {};
     }},
    {"--trecho", "", "K/N",
     "quadro a quadro, só o K-ésimo de N trechos iguais (vuzizeri-juntar os junta)",
     [](Parse& p, const std::string& value) -> Ending {
       const size_t slash = value.find('/');
       std::optional<int64_t> k, n;
       if (slash != std::string::npos) {
         k = parseInt64(value.substr(0, slash));
         n = parseInt64(value.substr(slash + 1));
       }
       if (!k || !n || *k < 1 || *k > *n)
         return refused("--trecho precisa de K/N, com 1 ≤ K ≤ N: " + shownText(value) + "\n");
       p.a.part = Arguments::Part{*k, *n, {}};
       return {};
     }},
    {"--paralelo", "", "N|auto",
     "quadro a quadro, N trechos ao mesmo tempo nesta máquina, juntados",
     [](Parse& p, const std::string& value) -> Ending {
       std::optional<int64_t> n = value == "auto" ? std::optional<int64_t>(0) : parseInt64(value);
       if (!n || *n < 0 || *n > kMaxParts || (*n == 0 && value != "auto"))
         return refused("--paralelo precisa de um número de 1 a 64, ou auto: " + shownText(value) +
                        "\n");
       p.a.parallel = *n;
       return {};
     }},
    {"--barra-de-status", "", "", "a barra de status de um telefone na faixa do topo",
     flag<&Arguments::statusBar>},
    {"--hora", "", "HH:MM", "a hora da barra de status (9:41 por padrão)",
     [](Parse& p, const std::string& value) -> Ending {
       std::optional<std::string> shown = barTime(value);
       if (!shown)
         return refused("--hora precisa de HH:MM, de 00:00 a 23:59: " + shownText(value) + "\n");
       p.a.time = *shown;
       p.timeGiven = true;
       return {};
     }},
    {"--moldura", "", "", "o telefone em volta da tela: cantos, bordas e a ilha ou o entalhe",
     flag<&Arguments::frame>},
    {"--fundo-da-moldura", "", "COR|transparente",
     "o que fica em volta do telefone (branco por padrão; transparente só em mov e webm)",
     [](Parse& p, const std::string& value) -> Ending {
       std::optional<CssColour> colour =
           parseCssColour(value == "transparente" ? "transparent" : value);
       if (!colour)
         return refused("--fundo-da-moldura precisa de uma cor CSS ou transparente: " +
                        shownText(value) + "\n");
       p.a.frameBackground = *colour;
       p.frameBackgroundGiven = true;
       return {};
     }},
    {"--indicador-de-rolagem", "", "",
     "a barra fina de rolagem do iOS na borda direita enquanto a página se move",
     flag<&Arguments::scrollIndicator>},
    {"--fundo-transparente", "", "",
     "onde a página não pinta fundo, o vídeo é transparente (só em mov e webm)",
     flag<&Arguments::transparentPage>},
    {"--formato", "", "FORMA", "a forma do vídeo, uma destas (o nome da saída fica como dado):",
     [](Parse& p, const std::string& value) -> Ending {
       p.a.form = movieFormNamed(value);
       if (!p.a.form)
         return refused("formato desconhecido: " + shownText(value) + " (" + movieFormNames() +
                        ")\n");
       return {};
     }},
    {"--fps", "", "30|60", "quadros por segundo (60 por padrão; 30 em GIF)",
     [](Parse& p, const std::string& value) -> Ending {
       if (value != "30" && value != "60")
         return refused("--fps precisa de 30 ou 60: " + shownText(value) + "\n");
       p.a.fps = value == "30" ? 30 : 60;
       p.fpsGiven = true;
       return {};
     }},
    {"--json", "", "", "o relatório como um objeto JSON", flag<&Arguments::json>},
    {"--help", "-h", "", "mostra esta ajuda e sai",
     [](Parse&, const std::string&) { return ending(&ParseResult::showHelp); }},
    {"--version", "", "", "mostra a versão e sai",
     [](Parse&, const std::string&) { return ending(&ParseResult::showVersion); }},
};

}  // namespace

std::optional<std::string> languageTagOf(const std::string& text) {
  static const std::regex kTag("([a-zA-Z]{2,3})(-[a-zA-Z]{4})?(-[a-zA-Z]{2}|-[0-9]{3})?");
  std::smatch m;
  if (!std::regex_match(text, m, kTag)) return std::nullopt;
  auto cased = [](std::string part, bool upper) {
    for (char& c : part) c = static_cast<char>(upper ? std::toupper(c) : std::tolower(c));
    return part;
  };
  std::string script = cased(m[2].str(), false);
  if (!script.empty()) script[1] = static_cast<char>(std::toupper(script[1]));
  return cased(m[1].str(), false) + script + cased(m[3].str(), true);
}

std::optional<std::string> barTime(const std::string& hhmm) {
  const size_t colon = hhmm.find(':');
  if (colon == std::string::npos || hhmm.size() - colon != 3 || colon < 1 || colon > 2)
    return std::nullopt;
  const std::optional<int64_t> h = parseInt64(hhmm.substr(0, colon));
  const std::optional<int64_t> m = parseInt64(hhmm.substr(colon + 1));
  if (!h || !m || *h < 0 || *h > 23 || *m < 0 || *m > 59 || !std::isdigit(hhmm[colon + 1]))
    return std::nullopt;
  return std::to_string(*h) + hhmm.substr(colon);
}

namespace {

// --formato's forms, a line each under its own.
std::string formsHelp() {
  std::string text;
  for (const MovieForm& form : kMovieForms) {
    std::string shown = "    " + std::string(form.name);
    shown.resize(32, ' ');
    text +=
        shown + std::string(form.help) +
        (form.maxFps < kDefaultFps ? ", até " + std::to_string(form.maxFps) + " quadros/s" : "") +
        "\n";
  }
  return text;
}

}  // namespace

std::string usageWithOptions() {
  std::string text = std::string(kUsage) +
                     "     vuzizeri [opções] --aparelho NOME <url> <saida.mp4>\n"
                     "     vuzizeri [opções] --destino NOME <url> <saida.mp4>\n"
                     "opções, antes dos argumentos:\n";
  for (const Option& o : kOptions) {
    std::string shown(o.name);
    if (!o.alias.empty()) shown.append(", ").append(o.alias);
    if (!o.value.empty()) shown.append(" ").append(o.value);
    shown.resize(std::max<size_t>(shown.size() + 2, 30), ' ');
    text.append("  ").append(shown).append(o.help).append("\n");
    if (o.name == "--formato") text += formsHelp();
    if (o.name == "--roteiro") text += stepsHelp();
  }
  return text +
         "VUZIZERI_CREDENCIAIS=usuario:senha no ambiente: autenticação HTTP na origem da página\n";
}

std::optional<bool> optionTakesValue(const std::string& word) {
  for (const Option& o : kOptions)
    if (o.name == word || o.alias == word) return !o.value.empty();
  return std::nullopt;
}

namespace {

// The options, up to "--" or the first word that is none; `first` is left
// at the word after them. An unknown one, or one without its value, is a
// usage error.
Ending readOptions(Parse& p, const std::vector<std::string>& all, size_t* first) {
  size_t& i = *first;
  for (; i < all.size() && all[i].starts_with("-"); ++i) {
    const std::string& name = all[i];
    if (name == "--") {
      ++i;
      break;
    }
    const Option* option =
        std::find_if(std::begin(kOptions), std::end(kOptions),
                     [&](const Option& o) { return o.name == name || o.alias == name; });
    if (option == std::end(kOptions)) return usage();
    std::string value;
    if (option->value.starts_with("[")) {
      // An optional value is a number: the URL never is one.
      if (i + 1 < all.size() && parseScale(all[i + 1])) value = all[++i];
    } else if (!option->value.empty()) {
      if (i + 1 >= all.size()) return usage();
      value = all[++i];
    }
    if (Ending end = option->apply(p, value)) return end;
  }
  return {};
}

// The URL, the four numbers (or the device's) and the output after the
// options, and what they refuse.
ParseResult readPage(Parse& p, std::vector<std::string> args) {
  Arguments& a = p.a;
  if (p.device) {
    // The device's four numbers take their place between the URL and the
    // output.
    if (args.size() < 2) return usage();
    a.deviceShape = p.device->shape;
    args.insert(args.begin() + 1, {std::to_string(p.device->cssW), std::to_string(p.device->cssH),
                                   p.device->scale, std::to_string(p.device->safeTop)});
  }
  if (args.size() < 6) return usage();

  a.url = args[0];
  a.cssW = parseInt64(args[1]).value_or(0);
  a.cssH = parseInt64(args[2]).value_or(0);
  a.scale = parseScale(args[3]).value_or(0.0);
  a.safeTop = parseInt64(args[4]).value_or(0);
  a.outPath = args[5];

  // "!(scale > 0)" and not "scale <= 0": a NaN must not slip through.
  if (a.cssW < 1 || a.cssH < 1 || !(a.scale > 0) || a.safeTop < 0 || a.safeTop >= a.cssH) return {};
  a.contentH = a.cssH - a.safeTop;

  // Only an absolute URI can be loaded; refuse anything else up front rather
  // than wait out the time limit on a load that cannot start.
  if (!g_uri_is_valid(a.url.c_str(), G_URI_FLAGS_NONE, nullptr)) return {};
  if (const std::string clash = command_line::pageClash(a); !clash.empty()) return refused(clash);

  std::optional<PixelSizes> sizes = pixelSizes(a);
  if (!sizes || sizes->pxW < 1 || sizes->pxH < 1) return {};
  std::optional<int> windowScale = windowScaleFor(a);
  if (!windowScale) return {};
  a.windowScale = *windowScale;
  if (const std::string clash = command_line::coverClash(a, *sizes); !clash.empty())
    return refused(clash);
  ParseResult parsed;
  parsed.arguments = a;
  return parsed;
}

}  // namespace

ParseResult parseArguments(const std::vector<std::string>& all, const DeviceSource& devices,
                           const TargetSource& targets) {
  Parse p{Arguments{}, std::nullopt, devices, targets};
  size_t first = 0;
  if (Ending end = readOptions(p, all, &first)) return *end;
  p.positional = all.size() - first;
  if (const std::string clash = command_line::firstClash(p); !clash.empty()) return refused(clash);
  command_line::settle(p.a);
  p.a.optionsEnd = first;
  p.a.outputArgument = first + (p.device ? 1 : 5);
  return readPage(p, {all.begin() + static_cast<ptrdiff_t>(first), all.end()});
}

std::optional<PixelSizes> pixelSizes(const Arguments& a) {
  auto pxW = truncatedProduct(a.scale, a.cssW);
  auto pxH = truncatedProduct(a.scale, a.cssH);
  auto bandPx = truncatedProduct(a.scale, a.safeTop);
  auto contentPx = truncatedProduct(a.scale, a.contentH);
  if (!pxW || !pxH || !bandPx || !contentPx) return std::nullopt;
  return PixelSizes{*pxW, *pxH, *bandPx, *contentPx};
}

bool Arguments::makesSound() const {
  return !audioFile.empty() || sounds || (storyboard && narrates(storyboard->filmed));
}

}  // namespace vuz
