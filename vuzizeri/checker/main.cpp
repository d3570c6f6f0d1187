// vuzizeri-verificar --destino NOME [--json] ARQUIVO...
//
// Measures movie files, whoever made them, as a store measures an upload,
// and says which of the target's rules each one breaks. Exits 0 when every
// file holds them all, 3 when one breaks a rule, 1 when one cannot be read,
// 2 for a wrong command line or an unknown target.

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "common/fail.h"
#include "common/shown_text.h"
#include "platform/media/av_error.h"
#include "platform/media/reader/movie_facts.h"
#include "platform/process/program_data.h"
#include "vuzizeri/report/json.h"
#include "vuzizeri/target/movie_rules.h"

namespace {

constexpr char kUsage[] = "uso: vuzizeri-verificar --destino NOME [--json] ARQUIVO...\n";

constexpr char kHelp[] =
    "Mede cada ARQUIVO como a loja mede um envio e diz, uma linha por regra,\n"
    "o que fica fora do destino: tamanho, quadros por segundo constantes, codec,\n"
    "perfil e nível, taxa de bits, som, duração, tamanho do arquivo, o índice\n"
    "antes dos dados, uma só trilha de vídeo, trilhas ativadas, sem rotação,\n"
    "pixels quadrados, vídeo progressivo e a duração do cabeçalho. Sai com 0\n"
    "quando tudo cabe, 3 quando uma regra falha, 1 quando um arquivo não se lê\n"
    "(um quadro ou um pacote de som que não se decodifica, um arquivo cortado)\n"
    "e 2 para uma linha de comando errada.\n"
    "opções:\n"
    "  --destino NOME   um destes: ";

struct Checked {
  std::string path;
  std::optional<media::MovieFacts> facts;
  std::string error;  // why it cannot be read
  std::vector<vuz::Finding> findings;
};

vuz::JsonValue factsJson(const media::MovieFacts& f) {
  using vuz::JsonValue;
  return JsonValue::object(
      {{"largura", f.width},
       {"altura", f.height},
       {"codec", f.videoCodec},
       {"perfil", f.profile},
       {"nivel", f.level > 0 ? JsonValue(f.level / 10.0) : JsonValue()},
       {"quadros", f.frames},
       {"quadros_por_segundo", std::round(f.frameRate() * 1000) / 1000},
       {"constante", f.constantRate()},
       {"segundos", std::round(f.seconds * 1000) / 1000},
       {"bits_por_segundo", static_cast<int64_t>(std::llround(f.videoBitRate))},
       {"som", f.hasSound
                   ? JsonValue::object(
                         {{"codec", f.soundCodec}, {"canais", f.channels}, {"hz", f.sampleRate}})
                   : JsonValue()},
       {"bytes", f.fileBytes},
       {"indice_primeiro", f.index == media::MovieFacts::Index::kFirst}});
}

std::string jsonResult(const vuz::Target& target, const std::vector<Checked>& files) {
  using vuz::JsonValue;
  std::vector<JsonValue> items;
  for (const Checked& c : files) {
    std::vector<JsonValue> findings;
    for (const vuz::Finding& f : c.findings)
      findings.push_back(JsonValue::object({{"regra", f.rule},
                                            {"medido", f.measured},
                                            {"pede", f.wanted},
                                            {"texto", vuz::findingLine(f, target)}}));
    items.push_back(JsonValue::object({{"arquivo", c.path},
                                       {"legivel", c.facts.has_value()},
                                       {"erro", c.facts ? JsonValue() : JsonValue(c.error)},
                                       {"conforme", c.facts && c.findings.empty()},
                                       {"medido", c.facts ? factsJson(*c.facts) : JsonValue()},
                                       {"falhas", JsonValue::list(findings)}}));
  }
  return JsonValue::object({{"destino", target.name}, {"arquivos", JsonValue::list(items)}})
             .text() +
         "\n";
}

}  // namespace

int main(int argc, char** argv) {
  reopenClosedStandardDescriptors();
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::string targetName;
  bool json = false;
  size_t first = 0;
  for (; first < args.size() && args[first].starts_with("-"); ++first) {
    const std::string& option = args[first];
    if (option == "--") {
      ++first;
      break;
    }
    if (option == "--json") {
      json = true;
    } else if (option == "--destino" && first + 1 < args.size()) {
      targetName = args[++first];
    } else if (option == "--help" || option == "-h") {
      targetName = "--help";
    } else if (option == "--version") {
      writeAll(STDOUT_FILENO, "vuzizeri-verificar " PROJECT_VERSION_TEXT "\n");
      return 0;
    } else {
      writeAll(STDERR_FILENO, kUsage);
      return 2;
    }
  }
  std::string error;
  const std::optional<std::vector<vuz::Target>> targets =
      vuz::readTargetTable(process::programDataFolder("vuzizeri"), &error);
  if (!targets) fail(error);
  if (targetName == "--help") {
    writeAll(STDOUT_FILENO, std::string(kUsage) + kHelp + vuz::targetNames(*targets) +
                                "\n  --json           o resultado como um objeto JSON\n");
    return 0;
  }
  if (targetName.empty() || first >= args.size()) {
    writeAll(STDERR_FILENO, kUsage);
    return 2;
  }
  const vuz::Target* target = vuz::targetNamed(*targets, targetName);
  if (!target) {
    writeAll(STDERR_FILENO, "destino desconhecido: " + shownText(targetName) + " (" +
                                vuz::targetNames(*targets) + ")\n");
    return 2;
  }

  media::silenceLibraryLog();
  std::vector<Checked> files;
  bool unreadable = false, broken = false;
  for (size_t i = first; i < args.size(); ++i) {
    Checked c{args[i], media::readMovieFacts(args[i], &error), {}, {}};
    if (!c.facts) {
      c.error = error;
      unreadable = true;
    } else {
      c.findings = vuz::checkMovie(*c.facts, *target);
      broken = broken || !c.findings.empty();
    }
    files.push_back(std::move(c));
  }

  std::string out, err;
  if (json) {
    out = jsonResult(*target, files);
  } else {
    for (const Checked& c : files) {
      if (!c.facts)
        err += shownText(c.path) + ": não se lê: " + c.error + "\n";
      else if (c.findings.empty())
        out += "ok " + shownText(c.path) + " (" + target->name + ")\n";
      for (const vuz::Finding& f : c.findings)
        out += shownText(c.path) + ": " + vuz::findingLine(f, *target) + "\n";
    }
  }
  if (!writeAll(STDOUT_FILENO, out))
    fail(std::string("falha ao escrever a saída: ") + std::strerror(errno));
  writeAll(STDERR_FILENO, err);
  return unreadable ? 1 : broken ? 3 : 0;
}
