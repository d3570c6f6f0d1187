#include "vuzizeri/storyboard/storyboard.h"

#include <regex>
#include <set>
#include <sstream>

#include "common/shown_text.h"
#include "vuzizeri/storyboard/line_syntax.h"
#include "vuzizeri/storyboard/steps.h"

namespace vuz {

namespace {

// Each {chave} in `rest` as `texts` has it; the missing key's name in
// `missing` when one is not there. digitar's $NOME comes after: a $ in the
// table is a $ typed.
bool withTexts(std::string_view word, const Texts& texts, std::string* rest, std::string* missing) {
  static const std::set<std::string_view> kWordy = {"digitar",  "legenda",  "titulo",
                                                    "destaque", "capitulo", "narrar"};
  if (!kWordy.contains(word)) return true;
  static const std::regex kKey(R"(\{([^{}\s]+)\})");
  std::string out;
  std::smatch m;
  auto at = rest->cbegin();
  for (; std::regex_search(at, rest->cend(), m, kKey); at = m[0].second) {
    const auto found = texts.find(m[1].str());
    if (found == texts.end()) return *missing = m[1].str(), false;
    std::string value = found->second;
    if (word == "digitar") value = std::regex_replace(value, std::regex(R"(\$)"), "$$$$");
    out += m.prefix().str() + value;
  }
  *rest = out + std::string(at, rest->cend());
  return true;
}

}  // namespace

std::optional<Storyboard> parseStoryboard(const std::string& text, const Environment& environment,
                                          std::string* message, const Texts* texts) {
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
    auto [command, rest] = firstWord(written);
    if (command == "antes") {
      if (!rest.empty()) return refuse("antes fica sozinho na linha");
      if (sawBefore) return refuse("antes só pode vir uma vez");
      sawBefore = true;
      storyboard.before = std::move(storyboard.filmed);
      storyboard.filmed.clear();
      continue;
    }
    StoryStep step;
    step.kind = stepNamed(command);
    if (!step.kind)
      return refuse("passo desconhecido: " + shownText(command, 40) + " (" + stepWords() + ")");
    step.line = line;
    step.written = written;
    if (std::string key; texts && !withTexts(command, *texts, &rest, &key))
      return refuse("{" + key + "} não está em --textos");
    if (const std::string why = step.kind->read(rest, environment, step); !why.empty())
      return refuse(why);
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
