#include "vuzizeri/launcher/page_inputs.h"

#include <strings.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "common/input_file.h"
#include "common/shown_text.h"
#include "vuzizeri/recorder/page_shaping.h"
#include "vuzizeri/recorder/phone.h"
#include "vuzizeri/sound/narration.h"

namespace vuz {

bool readFile(const std::string& path, size_t maxBytes, std::string* text, std::string* message,
              const std::string& option) {
  std::string reason;
  std::optional<std::string> content = readInputFile(path, maxBytes, &reason);
  if (!content) {
    *message = (option.empty() ? "" : option + ": ") + "não foi possível ler " + shownText(path) +
               ": " + reason + "\n";
    return false;
  }
  *text = std::move(*content);
  return true;
}

std::string runLanguage(const Arguments& a) {
  if (!a.language.empty()) return a.language;
  return languageTag(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

namespace {

std::vector<std::string> cellsOf(std::string row) {
  if (!row.empty() && row.back() == '\r') row.pop_back();
  std::vector<std::string> cells;
  std::istringstream split(row);
  for (std::string cell; std::getline(split, cell, '\t');) cells.push_back(cell);
  if (!row.empty() && row.back() == '\t') cells.emplace_back();
  return cells;
}

// The header's column of `language`, else of its language alone; 0 for none.
size_t columnOf(const std::vector<std::string>& header, const std::string& language) {
  const std::string alone = language.substr(0, language.find('-'));
  for (const std::string& wanted : {language, alone})
    for (size_t i = 1; i < header.size(); ++i)
      if (strcasecmp(header[i].c_str(), wanted.c_str()) == 0) return i;
  return 0;
}

}  // namespace

std::optional<Texts> textsIn(const std::string& table, const std::string& language,
                             std::string* message) {
  std::istringstream rows(table.starts_with("\xef\xbb\xbf") ? table.substr(3) : table);
  std::string row;
  std::getline(rows, row);
  const std::vector<std::string> header = cellsOf(row);
  if (header.empty() || header[0] != "chave") {
    *message = "a primeira linha é chave e os idiomas, separados por tabulações";
    return std::nullopt;
  }
  const size_t column = columnOf(header, language);
  if (column == 0) {
    *message = "não tem a coluna do idioma " + language;
    return std::nullopt;
  }
  Texts texts;
  for (int line = 2; std::getline(rows, row); ++line) {
    const std::vector<std::string> cells = cellsOf(row);
    if (cells.empty() || (cells.size() == 1 && cells[0].empty())) continue;
    if (cells.size() != header.size()) {
      *message = "linha " + std::to_string(line) + ": " + std::to_string(cells.size()) +
                 " colunas, o cabeçalho tem " + std::to_string(header.size());
      return std::nullopt;
    }
    if (!cells[column].empty()) texts[cells[0]] = cells[column];
  }
  return texts;
}

std::string outputAmongInputs(const Arguments& a) {
  const std::pair<const char*, const std::string*> inputs[] = {{"--roteiro", &a.storyboardFile},
                                                               {"--textos", &a.textsFile},
                                                               {"--estilo", &a.styleFile},
                                                               {"--script", &a.scriptFile},
                                                               {"--audio", &a.audioFile}};
  for (const auto& [option, path] : inputs) {
    if (!path->empty() && sameFile(*path, a.outPath))
      return "a saída é o arquivo de " + std::string(option) + ": " + shownText(a.outPath) +
             " não seria substituído pelo vídeo\n";
    if (!path->empty() && !a.captionsFile.empty() && sameFile(*path, a.captionsFile))
      return "o arquivo de --legendas é o de " + std::string(option) + ": " +
             shownText(a.captionsFile) + " não seria substituído pelas legendas\n";
  }
  if (!a.captionsFile.empty() && sameFile(a.captionsFile, a.outPath))
    return "o arquivo de --legendas é a própria saída: " + shownText(a.outPath) + "\n";
  return {};
}

namespace {

std::pair<std::string, std::string> splitAt(const std::string& text, char separator, size_t skip) {
  const size_t at = text.find(separator);
  return {text.substr(0, at), text.substr(at + skip)};
}

}  // namespace

std::optional<PageInputs> readPageInputs(Arguments& a, const std::string& dataFolder,
                                         std::string* message) {
  PageInputs inputs;
  if (!a.styleFile.empty() &&
      !readFile(a.styleFile, kPageFileMaxBytes, &inputs.authorStyleSheet, message, "--estilo"))
    return std::nullopt;
  if (!a.scriptFile.empty() &&
      !readFile(a.scriptFile, kPageFileMaxBytes, &a.scriptText, message, "--script"))
    return std::nullopt;
  if (!a.storyboardFile.empty()) {
    std::string text, why;
    if (!readFile(a.storyboardFile, kStoryboardMaxBytes, &text, message, "--roteiro"))
      return std::nullopt;
    std::optional<Texts> texts;
    if (!a.textsFile.empty()) {
      std::string table;
      if (!readFile(a.textsFile, kStoryboardMaxBytes, &table, message, "--textos"))
        return std::nullopt;
      texts = textsIn(table, runLanguage(a), &why);
      if (!texts) {
        *message = "--textos " + shownText(a.textsFile) + ": " + why + "\n";
        return std::nullopt;
      }
    }
    std::vector<std::string> used;
    a.storyboard = parseStoryboard(
        text,
        [&used](const std::string& name) -> std::optional<std::string> {
          const char* value = std::getenv(name.c_str());
          if (!value) return std::nullopt;
          used.push_back(name);
          return std::string(value);
        },
        &why, texts ? &*texts : nullptr);
    // What the storyboard types (a password) is read once: nothing the run
    // starts sees it in its environment.
    for (const std::string& name : used) unsetenv(name.c_str());
    if (!a.storyboard) {
      *message = "--roteiro " + shownText(a.storyboardFile) + ", " + why + "\n";
      return std::nullopt;
    }
    // A voice is heard only in the movie, and the movie must have sound.
    if (narrates(a.storyboard->before)) {
      *message = "--roteiro " + shownText(a.storyboardFile) +
                 ": narrar só vale depois de antes, no que é filmado\n";
      return std::nullopt;
    }
    if (narrates(a.storyboard->filmed) && !a.form->sound) {
      *message =
          "--formato " + std::string(a.form->name) + " não tem som: não combina com narrar\n";
      return std::nullopt;
    }
  }
  std::string banners;
  if (a.noBanners && !readFile(dataFolder + "/banners.tsv", kPageFileMaxBytes, &banners, message))
    return std::nullopt;
  inputs.userStyleSheet = shapingStyleSheet(a, bannerStyleSheet(banners));
  if (!a.engineControls && !readFile(dataFolder + "/controles.css", kPageFileMaxBytes,
                                     &inputs.controlsStyleSheet, message))
    return std::nullopt;
  for (const std::string& header : a.headers) inputs.headers.push_back(splitAt(header, ':', 2));
  for (const std::string& cookie : a.cookies) inputs.cookies.push_back(splitAt(cookie, '=', 1));

  if (const char* given = std::getenv("VUZIZERI_CREDENCIAIS")) {
    const std::string credentials = given;
    unsetenv("VUZIZERI_CREDENCIAIS");
    const size_t colon = credentials.find(':');
    if (colon == 0 || colon == std::string::npos) {
      *message = "VUZIZERI_CREDENCIAIS deve ser usuario:senha\n";
      return std::nullopt;
    }
    inputs.credentials = splitAt(credentials, ':', 1);
  }
  return inputs;
}

}  // namespace vuz
