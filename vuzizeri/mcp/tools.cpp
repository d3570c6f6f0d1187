#include "vuzizeri/mcp/tools.h"

#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/input_file.h"
#include "common/shown_text.h"
#include "platform/media/reader/movie_facts.h"
#include "vuzizeri/agent/programs.h"
#include "vuzizeri/command_line/devices.h"
#include "vuzizeri/mcp/recording.h"
#include "vuzizeri/report/json.h"
#include "vuzizeri/target/movie_rules.h"

namespace fs = std::filesystem;

namespace mcp {

void Call::progress(double done, const std::string& message) {
  if (!progressToken) return;
  done = std::max(done, lastProgress + 1);
  lastProgress = done;
  channel.notify(
      "notifications/progress",
      vuz::JsonValue::object({{"progressToken", vuz::JsonValue::verbatim(*progressToken)},
                              {"progress", done},
                              {"message", message}}));
}

void Call::cancel() {
  cancelled = true;
  recorder.stop();
}

vuz::JsonValue ToolResult::json() const {
  std::vector<vuz::JsonValue> items;
  for (const std::string& item : content) items.push_back(vuz::JsonValue::verbatim(item));
  return vuz::JsonValue::object({{"content", vuz::JsonValue::list(items)}, {"isError", isError}});
}

ToolResult textResult(const std::string& text, bool isError) {
  return {{vuz::JsonValue::object({{"type", "text"}, {"text", text}}).text()}, isError};
}

std::optional<fs::path> insideWorkspace(const Workspace& w, const std::string& given,
                                        std::string* why) {
  return agent::insideFolder(w.folder, given, why);
}

namespace {

std::optional<ToolResult> listDevices(const Workspace& w, JsonObject*, Call&, std::string*) {
  const std::optional<std::string> devices = agent::deviceListJson(w.dataFolder);
  if (!devices) return textResult("tabela de aparelhos ausente ou ilegível", true);
  return textResult(*devices);
}

// Every bad line of a storyboard, each as the recorder says it, and what
// the server does not run from an agent: the lines are read in order, a bad
// one left out so that the next shows.
std::vector<std::string> storyboardProblems(const std::string& text,
                                            const agent::StoryboardRules& reach) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::vector<std::string> problems;
  for (size_t attempt = 0; attempt <= lines.size(); ++attempt) {
    std::string joined;
    for (const std::string& line : lines) joined += line + "\n";
    const std::string message = agent::storyboardRefusal(joined, "", reach);
    if (message.empty()) break;
    problems.push_back(message);
    // "linha N: ..."
    const size_t number = message.find("linha ");
    const long n =
        number == std::string::npos ? 0 : std::strtol(message.c_str() + number + 6, nullptr, 10);
    if (n < 1 || static_cast<size_t>(n) > lines.size() || lines[n - 1].empty()) break;
    lines[n - 1].clear();
  }
  return problems;
}

std::optional<ToolResult> validateStoryboard(const Workspace& w, JsonObject* args, Call&,
                                             std::string* invalid) {
  const std::optional<std::string> text = stringMember(args, "roteiro");
  if (!text) {
    *invalid = "roteiro: o texto do roteiro, uma string";
    return std::nullopt;
  }
  const std::vector<std::string> problems = storyboardProblems(*text, w.reach);
  if (problems.empty()) return textResult("roteiro válido");
  std::string all;
  for (const std::string& p : problems) all += p + "\n";
  return textResult(all, true);
}

std::optional<ToolResult> check(const Workspace& w, JsonObject* args, Call&, std::string* invalid) {
  const std::optional<std::string> file = stringMember(args, "arquivo");
  const std::optional<std::string> target = stringMember(args, "destino");
  if (!file || !target) {
    *invalid = "arquivo e destino: strings";
    return std::nullopt;
  }
  std::string why;
  const std::optional<fs::path> path = insideWorkspace(w, *file, &why);
  if (!path) return textResult(why, true);
  const std::optional<std::vector<vuz::Target>> targets = vuz::readTargetTable(w.dataFolder, &why);
  if (!targets) return textResult(why, true);
  const vuz::Target* named = vuz::targetNamed(*targets, *target);
  if (!named)
    return textResult(
        "destino desconhecido: " + shownText(*target) + " (" + vuz::targetNames(*targets) + ")",
        true);
  const std::optional<media::MovieFacts> facts = media::readMovieFacts(path->string(), &why);
  if (!facts) return textResult(path->string() + ": não se lê: " + why, true);
  std::string lines;
  for (const vuz::Finding& f : vuz::checkMovie(*facts, *named))
    lines += vuz::findingLine(f, *named) + "\n";
  return textResult(lines.empty() ? "ok: " + path->string() + " cabe em " + named->name
                                  : "fora do destino: " + path->string() + "\n" + lines);
}

// The schemas: what an agent fills in.
constexpr char kDevicesSchema[] = R"({"type": "object", "properties": {}})";
constexpr char kStoryboardSchema[] = R"({"type": "object", "properties": {
  "roteiro": {"type": "string", "description": "O roteiro, um passo por linha, como vuzizeri --roteiro o lê: rolar-ate SELETOR|fim|topo, rolar PX, pausa SEG, tocar SELETOR, tocar-longo SELETOR SEG, deslizar SELETOR esquerda|direita|cima|baixo PX, digitar SELETOR TEXTO, escolher SELETOR TEXTO, esperar SELETOR, ir URL, zoom SELETOR FATOR|1, legenda SEG TEXTO, titulo SEG TEXTO, destaque SELETOR SEG [TEXTO], capitulo NOME; uma linha antes separa o que vem antes da gravação."}},
  "required": ["roteiro"]})";
constexpr char kCheckSchema[] = R"({"type": "object", "properties": {
  "arquivo": {"type": "string", "description": "O vídeo, dentro da pasta do servidor."},
  "destino": {"type": "string", "enum": ["app-store-6.9", "app-store-6.5", "app-store-5.5", "app-store-ipad-13", "vertical-1080"]}},
  "required": ["arquivo", "destino"]})";
constexpr char kRecordSchema[] = R"({"type": "object", "properties": {
  "url": {"type": "string", "description": "A página: http, https ou file (dentro da pasta do servidor)."},
  "saida": {"type": "string", "description": "O vídeo a gravar, dentro da pasta do servidor (relativo a ela)."},
  "aparelho": {"type": "string", "description": "Um nome da ferramenta aparelhos (iphone-15...); ou dê largura, altura, escala e topo, não os dois."},
  "largura": {"type": "integer", "minimum": 1, "description": "Largura da tela em pixels CSS."},
  "altura": {"type": "integer", "minimum": 1, "description": "Altura da tela em pixels CSS."},
  "escala": {"type": "number", "exclusiveMinimum": 0, "description": "Pixels do vídeo por pixel CSS."},
  "topo": {"type": "integer", "minimum": 0, "description": "Altura da faixa de cima (área segura) em pixels CSS."},
  "quadro_a_quadro": {"type": "boolean", "description": "Cada quadro na posição exata, o tempo que levar (recomendado)."},
  "roteiro": {"type": "string", "description": "Um roteiro (veja validar_roteiro) em vez da rolagem simples; $NOME só se o operador permitir, até 600 s parado ao todo."},
  "formato": {"type": "string", "enum": ["mp4", "mov", "webm", "gif"]},
  "fps": {"type": "integer", "enum": [30, 60]},
  "destino": {"type": "string", "enum": ["app-store-6.9", "app-store-6.5", "app-store-5.5", "app-store-ipad-13", "vertical-1080"], "description": "Grava o que a loja aceita; sem aparelho nem tamanho, usa o aparelho do destino."},
  "opcoes": {"type": "array", "items": {"type": "string"}, "description": "Outras opções de vuzizeri --help, cada palavra um item, cada opção com seu valor: [\"--barra-de-status\", \"--esconder\", \".banner\"]; sem --, --paralelo nem --aparelho."}},
  "required": ["url", "saida"]})";

const std::vector<Tool> kTools = {
    {"aparelhos",
     "Lista os aparelhos que gravar aceita em 'aparelho': nome, tela em pixels CSS, escala e a "
     "faixa de cima.",
     kDevicesSchema, listDevices},
    {"validar_roteiro",
     "Confere um roteiro como gravar o conferiria, sem carregar página: diz cada linha errada e "
     "por quê.",
     kStoryboardSchema, validateStoryboard},
    {"gravar",
     "Grava a página como um vídeo de tela de telefone rolando, como o comando vuzizeri. Devolve "
     "o relatório JSON, um quadro PNG do vídeo e o caminho do arquivo. Leva de segundos a minutos; "
     "manda progresso quando pedido e pode ser cancelada.",
     kRecordSchema, record},
    {"verificar",
     "Mede um vídeo como a loja do destino mede um envio e diz cada regra que ele quebra: tamanho, "
     "quadros por segundo, codec, perfil, nível, taxa de bits, som, duração, tamanho do arquivo, "
     "índice no começo.",
     kCheckSchema, check},
};

}  // namespace

const std::vector<Tool>& tools() { return kTools; }

vuz::JsonValue toolList() {
  std::vector<vuz::JsonValue> list;
  for (const Tool& t : kTools) {
    // A message is one line: the schemas, constant documents, are written
    // over several.
    std::string schema = t.inputSchema;
    std::replace(schema.begin(), schema.end(), '\n', ' ');
    list.push_back(vuz::JsonValue::object({{"name", t.name},
                                           {"description", t.description},
                                           {"inputSchema", vuz::JsonValue::verbatim(schema)}}));
  }
  return vuz::JsonValue::object({{"tools", vuz::JsonValue::list(list)}});
}

}  // namespace mcp
