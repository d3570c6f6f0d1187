#include "vuzizeri/storyboard/storyboard.h"

#include <cctype>
#include <cmath>
#include <sstream>
#include <tuple>

#include "common/number_syntax.h"
#include "common/shown_text.h"

namespace vuz {

namespace {

const char kBlanks[] = " \t";

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// The first word and the rest, the rest trimmed.
std::pair<std::string, std::string> firstWord(const std::string& text) {
  const size_t end = text.find_first_of(kBlanks);
  if (end == std::string::npos) return {text, {}};
  return {text.substr(0, end), trimmed(text.substr(end))};
}

std::optional<double> number(const std::string& text) {
  const std::optional<double> value = parseScale(text);
  if (!value || !std::isfinite(*value)) return std::nullopt;
  return value;
}

bool nameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool namePart(char c) { return nameStart(c) || std::isdigit(static_cast<unsigned char>(c)); }

// Every $NOME from the environment; $$ is one $.
bool expand(const std::string& text, const Environment& environment, std::string* out,
            std::string* missing) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '$' || i + 1 == text.size()) {
      *out += text[i];
    } else if (text[i + 1] == '$') {
      *out += '$';
      ++i;
    } else if (nameStart(text[i + 1])) {
      size_t end = i + 1;
      while (end < text.size() && namePart(text[end])) ++end;
      const std::string name = text.substr(i + 1, end - i - 1);
      const std::optional<std::string> value = environment ? environment(name) : std::nullopt;
      if (!value) {
        *missing = name;
        return false;
      }
      *out += *value;
      i = end - 1;
    } else {
      *out += '$';
    }
  }
  return true;
}

// digitar's selector: the first word, or a quoted text when it has blanks.
bool splitSelector(const std::string& rest, std::string* selector, std::string* text) {
  if (!rest.empty() && (rest[0] == '"' || rest[0] == '\'')) {
    const size_t close = rest.find(rest[0], 1);
    if (close == std::string::npos) return false;
    *selector = rest.substr(1, close - 1);
    *text = rest.substr(close + 1);
    if (!text->empty() && !std::isblank(static_cast<unsigned char>((*text)[0]))) return false;
  } else {
    std::tie(*selector, *text) = firstWord(rest);
    return !selector->empty() && !text->empty();
  }
  *text = trimmed(*text);
  return !selector->empty() && !text->empty();
}

// An absolute URL's scheme, lower-cased (RFC 3986: a letter, then letters,
// digits, "+", "-" or "." up to the colon); empty for a relative one.
std::string schemeOf(const std::string& url) {
  size_t end = 0;
  while (end < url.size() && (std::isalpha(static_cast<unsigned char>(url[end])) ||
                              (end > 0 && (std::isdigit(static_cast<unsigned char>(url[end])) ||
                                           url[end] == '+' || url[end] == '-' || url[end] == '.'))))
    ++end;
  if (end == 0 || end >= url.size() || url[end] != ':') return {};
  std::string scheme = url.substr(0, end);
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return scheme;
}

}  // namespace

std::optional<Storyboard> parseStoryboard(const std::string& text, const Environment& environment,
                                          std::string* message) {
  Storyboard storyboard;
  bool sawBefore = false;
  // Editors on some systems begin a UTF-8 file with a byte-order mark.
  constexpr std::string_view kByteOrderMark = "\xef\xbb\xbf";
  std::istringstream lines(text.starts_with(kByteOrderMark) ? text.substr(kByteOrderMark.size())
                                                            : text);
  std::string raw;
  int line = 0;
  auto refuse = [&](const std::string& reason) {
    *message = "linha " + std::to_string(line) + ": " + reason;
    return std::nullopt;
  };
  while (std::getline(lines, raw)) {
    ++line;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    const std::string written = trimmed(raw);
    if (written.empty() || written[0] == '#') continue;
    const auto [command, rest] = firstWord(written);
    StoryStep step;
    step.line = line;
    step.written = written;
    if (command == "antes") {
      if (!rest.empty()) return refuse("antes fica sozinho na linha");
      if (sawBefore) return refuse("antes só pode vir uma vez");
      sawBefore = true;
      storyboard.before = std::move(storyboard.filmed);
      storyboard.filmed.clear();
      continue;
    }
    if (command == "rolar-ate") {
      if (rest.empty()) return refuse("rolar-ate precisa de um seletor, de fim ou de topo");
      step.kind = StoryStep::Kind::kScrollTo;
      step.target = rest == "fim"    ? StoryStep::Target::kEnd
                    : rest == "topo" ? StoryStep::Target::kTop
                                     : StoryStep::Target::kElement;
      step.selector = rest;
    } else if (command == "rolar") {
      const std::optional<double> px = number(rest);
      if (!px || std::abs(*px) > 1e6)
        return refuse("rolar precisa de pixels CSS, de -1000000 a 1000000: " + shownText(rest));
      step.kind = StoryStep::Kind::kScrollBy;
      step.number = *px;
    } else if (command == "pausa") {
      const std::optional<double> seconds = number(rest);
      if (!seconds || !(*seconds > 0) || *seconds > 600)
        return refuse("pausa precisa de segundos acima de 0 e até 600: " + shownText(rest));
      step.kind = StoryStep::Kind::kPause;
      step.number = *seconds;
    } else if (command == "tocar" || command == "esperar") {
      if (rest.empty()) return refuse(command + " precisa de um seletor");
      step.kind = command == "tocar" ? StoryStep::Kind::kTap : StoryStep::Kind::kWait;
      step.selector = rest;
    } else if (command == "digitar") {
      std::string typed;
      if (!splitSelector(rest, &step.selector, &typed))
        return refuse("digitar precisa de um seletor e de um texto");
      std::string missing;
      if (!expand(typed, environment, &step.text, &missing))
        return refuse("digitar: a variável de ambiente " + shownText(missing) +
                      " não está definida");
      step.kind = StoryStep::Kind::kType;
    } else if (command == "ir") {
      if (rest.empty() || rest.find_first_of(kBlanks) != std::string::npos)
        return refuse("ir precisa de um URL, sem espaços");
      // A javascript: or data: "page" would run the storyboard's text as the
      // page's own script.
      const std::string scheme = schemeOf(rest);
      if (!scheme.empty() && scheme != "http" && scheme != "https" && scheme != "file")
        return refuse("ir vai só a páginas http, https ou file: " + shownText(rest));
      step.kind = StoryStep::Kind::kGo;
      step.text = rest;
    } else {
      return refuse("passo desconhecido: " + shownText(command, 40) +
                    " (rolar-ate, rolar, pausa, tocar, digitar, esperar, ir ou antes)");
    }
    storyboard.filmed.push_back(std::move(step));
  }
  return storyboard;
}

std::vector<std::string> keysOf(const std::string& text) {
  std::vector<std::string> keys;
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = lead < 0x80           ? 1
                    : (lead >> 5) == 0x6  ? 2
                    : (lead >> 4) == 0xe  ? 3
                    : (lead >> 3) == 0x1e ? 4
                                          : 1;
    if (i + length > text.size()) length = 1;
    for (size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80) length = 1;
    keys.push_back(text.substr(i, length));
    i += length;
  }
  return keys;
}

}  // namespace vuz
