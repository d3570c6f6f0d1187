#include "vuzizeri/agent/storyboard_check.h"

#include <glib.h>

#include <cctype>
#include <cstdlib>

#include "common/shown_text.h"
#include "vuzizeri/storyboard/line_syntax.h"
#include "vuzizeri/storyboard/steps.h"
#include "vuzizeri/target/movie_rules.h"

namespace fs = std::filesystem;

namespace agent {
namespace {

// The engine reads a file: URL's path up to ? or #, a backslash as a slash,
// and drops tabs and newlines: a URL it would read otherwise than GLib is
// refused, not compared.
std::string fileUrlRefusal(const std::string& url, const fs::path& folder) {
  const std::string path = url.substr(0, url.find_first_of("?#"));
  for (const char c : path)
    if (static_cast<unsigned char>(c) <= ' ' || c == '\x7f' || c == '\\')
      return shownText(url) + ": um URL file: sem espaços, controles nem \\";
  g_autofree char* host = nullptr;
  g_autofree char* name = g_filename_from_uri(path.c_str(), &host, nullptr);
  if (!name || (host && g_ascii_strcasecmp(host, "localhost") != 0))
    return shownText(url) + ": não é um arquivo desta máquina";
  std::string why;
  if (!insideFolder(folder, fs::path(name).lexically_normal().string(), &why)) return why;
  return "";
}

std::string refusedVariable(const std::string& message, const std::string& name) {
  return message.substr(0, message.find(": ") + 2) + "digitar: $" + name +
         " leria o ambiente de quem grava; só vale um nome que o operador permita "
         "(--permitir-variavel " +
         name + ")";
}

}  // namespace

bool variableName(const std::string& text) {
  if (text.empty() || std::isdigit(static_cast<unsigned char>(text[0]))) return false;
  for (const char c : text)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

std::optional<fs::path> insideFolder(const fs::path& folder, const std::string& given,
                                     std::string* why) {
  if (given.empty()) {
    *why = "o caminho está vazio";
    return std::nullopt;
  }
  const fs::path path = fs::path(given).is_absolute() ? fs::path(given) : folder / given;
  std::error_code error;
  // Every link on the way resolved, the last part too when it exists.
  const fs::path resolved = fs::weakly_canonical(path, error);
  if (error) {
    *why = shownText(given) + ": " + error.message();
    return std::nullopt;
  }
  const fs::path relative = resolved.lexically_relative(folder);
  if (relative.empty() || *relative.begin() == "..") {
    *why = shownText(given) + " fica fora da pasta " + folder.string();
    return std::nullopt;
  }
  return resolved;
}

std::string localPageRefusal(const std::string& url, const StoryboardRules& rules) {
  if (vuz::schemeOf(url) != "file") return "";
  if (!rules.files) return "páginas file: não valem aqui: " + shownText(url);
  return fileUrlRefusal(url, *rules.files);
}

std::string storyboardRefusal(const std::string& text, const std::string& startUrl,
                              const StoryboardRules& rules) {
  std::string refused;
  const vuz::Environment environment = [&](const std::string& name) -> std::optional<std::string> {
    if (!rules.variables.count(name)) {
      refused = name;
      return std::nullopt;
    }
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
  };
  std::string message;
  const std::optional<vuz::Storyboard> storyboard =
      vuz::parseStoryboard(text, environment, &message);
  if (!storyboard) return refused.empty() ? message : refusedVariable(message, refused);
  std::string scheme = vuz::schemeOf(startUrl);
  double held = 0;
  for (const std::vector<vuz::StoryStep>* steps : {&storyboard->before, &storyboard->filmed})
    for (const vuz::StoryStep& step : *steps) {
      const std::string_view word = step.kind->word;
      if (word == "pausa" || word == "tocar-longo" || word == "titulo") held += step.number;
      if (word != "ir") continue;
      const std::string to = vuz::schemeOf(step.text);
      const std::string why =
          to.empty() && scheme == "file"
              ? "um URL relativo a uma página file: não se confere: dê o URL inteiro"
              : localPageRefusal(step.text, rules);
      if (!why.empty()) return "linha " + std::to_string(step.line) + ": ir: " + why;
      if (!to.empty()) scheme = to;
    }
  if (held > kMostHeldSeconds)
    return "o roteiro fica parado " + vuz::decimalText(held, 3) +
           " s ao todo (pausa, tocar-longo, titulo): aqui o máximo é " +
           vuz::decimalText(kMostHeldSeconds, 0) + " s";
  return "";
}

}  // namespace agent
