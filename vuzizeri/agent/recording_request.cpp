#include "vuzizeri/agent/recording_request.h"

#include <glib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include "common/shown_text.h"
#include "vuzizeri/agent/json_members.h"
#include "vuzizeri/command_line/arguments.h"
#include "vuzizeri/report/json.h"

namespace agent {
namespace {

bool isSize(const RequestMember& m) { return m.type == JsonType::kNumber && m.option.empty(); }

// The member's word when it is of the member's type: a string as it is, a
// number as JSON writes it (a size a finite one), a boolean as "true" or
// "false".
std::optional<std::string> valueWord(JsonObject* request, const RequestMember& m) {
  const std::string name(m.name);
  if (m.type == JsonType::kString) return stringMember(request, name.c_str());
  if (m.type == JsonType::kBoolean) {
    const std::optional<bool> set = boolMember(request, name.c_str());
    if (!set) return std::nullopt;
    return *set ? "true" : "false";
  }
  const std::optional<double> n =
      m.type == JsonType::kNumber ? numberMember(request, name.c_str()) : std::nullopt;
  if (!n || (isSize(m) && !std::isfinite(*n))) return std::nullopt;
  return vuz::jsonNumber(*n);
}

std::string typeRefusal(const RequestMember& m) {
  switch (m.type) {
    case JsonType::kString:
      return std::string(m.name) + ": uma string";
    case JsonType::kNumber:
      return std::string(m.name) + ": um número";
    case JsonType::kBoolean:
      return std::string(m.name) + ": true ou false";
    case JsonType::kStrings:
      return std::string(m.name) + ": uma lista de strings";
  }
  return "";
}

// The members that become the recorder's words here: the options, the
// storyboard aside (its text is the front's to check and write), and the
// sizes.
bool becomesWords(const RequestMember& m) {
  return (!m.option.empty() && m.name != "roteiro") || isSize(m);
}

bool takes(Front front, const RequestMember& m) { return front == Front::kHttp ? m.http : m.mcp; }

// Why the four sizes cannot be read when one is given, or "".
std::string sizesRefusal(JsonObject* request) {
  int given = 0;
  for (const RequestMember& m : kRequestMembers)
    given += isSize(m) && hasMember(request, std::string(m.name).c_str()) ? 1 : 0;
  if (given != 4) return "largura, altura, escala e topo vão juntos";
  // With a device the recorder would take the first number for the output.
  if (hasMember(request, "aparelho"))
    return "aparelho ou largura, altura, escala e topo: não os dois";
  return "";
}

}  // namespace

std::string unknownMember(JsonObject* request, Front front) {
  for (const std::string& name : memberNames(request)) {
    const auto known = std::find_if(std::begin(kRequestMembers), std::end(kRequestMembers),
                                    [&](const RequestMember& m) { return m.name == name; });
    if (known == std::end(kRequestMembers) || !takes(front, *known)) return name;
  }
  return "";
}

std::optional<RecorderWords> recorderWords(JsonObject* request, Front front, std::string* invalid) {
  if (front == Front::kHttp)
    if (const std::string unknown = unknownMember(request, front); !unknown.empty()) {
      *invalid = "membro desconhecido: " + unknown;
      return std::nullopt;
    }
  RecorderWords words;
  bool sizesChecked = false;
  for (const RequestMember& m : kRequestMembers) {
    const std::string name(m.name);
    if (!becomesWords(m) || !takes(front, m) || !hasMember(request, name.c_str())) continue;
    if (isSize(m) && !std::exchange(sizesChecked, true))
      if (*invalid = sizesRefusal(request); !invalid->empty()) return std::nullopt;
    const std::optional<std::string> word = valueWord(request, m);
    if (!word) {
      *invalid = typeRefusal(m);
      return std::nullopt;
    }
    if (isSize(m))
      words.sizes.push_back(*word);
    else if (m.type != JsonType::kBoolean)
      words.options.insert(words.options.end(), {std::string(m.option), *word});
    else if (*word == "true")
      words.options.emplace_back(m.option);
  }
  return words;
}

std::string takeOptions(const std::vector<std::string>& words, const OptionTaker& take) {
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& option = words[i];
    // Options by their names only: a word that does not start with -- is
    // none here, an alias (-h) neither.
    const std::optional<bool> valued =
        option.starts_with("--") ? vuz::optionTakesValue(option) : std::nullopt;
    if (!valued)
      return shownText(option) +
             " não é uma opção de vuzizeri (url, tamanhos e saida vêm da chamada)";
    if (option == "--paralelo") return "--paralelo não vale aqui: uma chamada, um vuzizeri";
    // The voice would be any program the caller names, outside what it may reach.
    if (option == "--voz") return "--voz não vale aqui: a chamada não escolhe programas para rodar";
    // With the four sizes a device would take the first for the output.
    if (option == "--aparelho") return "--aparelho vai em aparelho";
    if (*valued && i + 1 == words.size()) return option + " precisa de um valor";
    const std::optional<std::string> value =
        *valued ? std::optional<std::string>(words[++i]) : std::nullopt;
    if (std::string refused = take(option, value); !refused.empty()) return refused;
  }
  return "";
}

StoryboardFile::~StoryboardFile() {
  if (folder_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

bool StoryboardFile::write(const std::string& text, std::string* why) {
  const char* tmp = std::getenv("TMPDIR");
  std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/vuzizeri-roteiro-XXXXXX";
  if (!mkdtemp(templ.data())) {
    *why = templ + ": " + std::strerror(errno);
    return false;
  }
  folder_ = templ;
  path_ = folder_ + "/roteiro.txt";
  g_autoptr(GError) error = nullptr;
  if (!g_file_set_contents(path_.c_str(), text.data(), static_cast<gssize>(text.size()), &error)) {
    *why = error->message;
    return false;
  }
  return true;
}

}  // namespace agent
