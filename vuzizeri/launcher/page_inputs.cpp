#include "vuzizeri/launcher/page_inputs.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "vuzizeri/recorder/page_shaping.h"

namespace vuz {

bool readFile(const std::string& path, std::string* text, std::string* message) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  if (in) content << in.rdbuf();
  if (!in || in.bad()) {
    *message = "não foi possível ler " + path + ": " + std::strerror(errno) + "\n";
    return false;
  }
  *text = content.str();
  return true;
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
  if (!a.styleFile.empty() && !readFile(a.styleFile, &inputs.authorStyleSheet, message))
    return std::nullopt;
  if (!a.scriptFile.empty() && !readFile(a.scriptFile, &a.scriptText, message)) return std::nullopt;
  if (!a.storyboardFile.empty()) {
    std::string text, why;
    if (!readFile(a.storyboardFile, &text, message)) return std::nullopt;
    std::vector<std::string> used;
    a.storyboard = parseStoryboard(
        text,
        [&used](const std::string& name) -> std::optional<std::string> {
          const char* value = std::getenv(name.c_str());
          if (!value) return std::nullopt;
          used.push_back(name);
          return std::string(value);
        },
        &why);
    // What the storyboard types (a password) is read once: nothing the run
    // starts sees it in its environment.
    for (const std::string& name : used) unsetenv(name.c_str());
    if (!a.storyboard) {
      *message = "--roteiro " + a.storyboardFile + ", " + why + "\n";
      return std::nullopt;
    }
  }
  std::string banners;
  if (a.noBanners && !readFile(dataFolder + "/banners.tsv", &banners, message)) return std::nullopt;
  inputs.userStyleSheet = shapingStyleSheet(a, bannerStyleSheet(banners));
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
