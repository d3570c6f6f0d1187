// vuzizeri-mcp [--pasta DIR] [--simultaneas K] [--permitir-variavel NOME]...
//
// A Model Context Protocol server on standard input and output: an agent
// lists the devices, checks a storyboard, records a page and checks a movie
// against a store's rules, with the files inside DIR (the current folder
// unless told), at most K recordings at once.

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "common/fail.h"
#include "common/number_syntax.h"
#include "platform/media/av_error.h"
#include "platform/process/program_data.h"
#include "platform/system/resources.h"
#include "vuzizeri/agent/programs.h"
#include "vuzizeri/launcher/parts.h"
#include "vuzizeri/mcp/protocol.h"
#include "vuzizeri/mcp/tools.h"
#include "vuzizeri/report/json.h"

namespace fs = std::filesystem;

namespace {

constexpr char kUsage[] =
    "uso: vuzizeri-mcp [--pasta DIR] [--simultaneas K] [--permitir-variavel NOME]...\n";
// The revisions this server speaks, newest first; a client asking for one
// of them gets it, any other the newest.
constexpr const char* kRevisions[] = {"2025-11-25", "2025-06-18", "2025-03-26", "2024-11-05"};
constexpr char kInstructions[] =
    "Grava páginas da web como vídeos de tela de telefone. Use aparelhos para escolher um "
    "aparelho, validar_roteiro antes de gravar com um roteiro, gravar para o vídeo (os arquivos "
    "ficam na pasta do servidor) e verificar para conferir um vídeo contra as regras de uma "
    "loja.";

// The id of the answer to a message whose own id could not be read.
const std::string kNoId = vuz::JsonValue().text();

// initialize's result: the revision asked for, when this server speaks it.
vuz::JsonValue initializeResult(const std::optional<std::string>& asked) {
  using vuz::JsonValue;
  std::string revision = kRevisions[0];
  for (const char* r : kRevisions)
    if (asked == r) revision = r;
  return JsonValue::object(
      {{"protocolVersion", revision},
       {"capabilities",
        JsonValue::object({{"tools", JsonValue::object({{"listChanged", false}})}})},
       {"serverInfo",
        JsonValue::object({{"name", "vuzizeri-mcp"}, {"version", PROJECT_VERSION_TEXT}})},
       {"instructions", kInstructions}});
}

class Server {
 public:
  Server(mcp::Workspace workspace, size_t simultaneous)
      : workspace_(std::move(workspace)), simultaneous_(simultaneous) {}

  void handle(const std::string& line);
  // The client is gone: running recordings are ended and waited for.
  void stop();

 private:
  // A request, one with an id; `key` is its id as json-glib writes it.
  void answer(const std::string& id, const std::string& key, const std::string& method,
              JsonObject* params);
  void call(const std::string& id, const std::string& key, JsonObject* params);
  void cancel(JsonObject* params);

  mcp::Workspace workspace_;
  size_t simultaneous_;  // recordings at once
  mcp::Channel channel_;
  std::mutex mutex_;
  // By request id, as json-glib writes it (a cancellation's requestId too).
  std::map<std::string, std::shared_ptr<mcp::Call>> running_;
  std::vector<std::thread> threads_;
};

void Server::handle(const std::string& line) {
  if (line.find_first_not_of(" \t\r") == std::string::npos) return;
  agent::ParsedObject parsed;
  std::string why;
  if (!agent::parseJson(line, &parsed, &why))
    return channel_.fail(kNoId, mcp::kParseError, "JSON ilegível: " + why);
  JsonObject* message = parsed.object;
  if (!message)
    return channel_.fail(kNoId, mcp::kInvalidRequest, "uma mensagem é um objeto JSON-RPC 2.0");
  // A response to us (we ask nothing) gets no answer.
  const bool response = mcp::hasMember(message, "result") || mcp::hasMember(message, "error");
  // An id is a string, a number or null, answered as it was sent; without
  // one the message is a notification.
  std::string id, key;
  if (mcp::hasMember(message, "id")) {
    const std::optional<std::string> sent = mcp::idText(line, message);
    if (!sent) {
      if (!response)
        channel_.fail(kNoId, mcp::kInvalidRequest, "id: uma string, um número ou null");
      return;
    }
    id = *sent;
    key = mcp::memberJson(message, "id").value_or("");
  }
  const std::optional<std::string> method = mcp::stringMember(message, "method");
  if (mcp::stringMember(message, "jsonrpc") != "2.0" || !method) {
    if (!id.empty() && !response)
      channel_.fail(id, mcp::kInvalidRequest, "falta jsonrpc \"2.0\" ou method");
    return;
  }
  JsonObject* params = mcp::objectMember(message, "params");
  if (!id.empty()) return answer(id, key, *method, params);
  // Other notifications (initialized, roots) need nothing.
  if (*method == "notifications/cancelled") cancel(params);
}

void Server::answer(const std::string& id, const std::string& key, const std::string& method,
                    JsonObject* params) {
  if (method == "initialize")
    channel_.respond(id, initializeResult(mcp::stringMember(params, "protocolVersion")));
  else if (method == "ping")
    channel_.respond(id, vuz::JsonValue::object({}));
  else if (method == "tools/list")
    channel_.respond(id, mcp::toolList());
  else if (method == "tools/call")
    call(id, key, params);
  else
    channel_.fail(id, mcp::kMethodNotFound, "método desconhecido: " + method);
}

void Server::call(const std::string& id, const std::string& key, JsonObject* params) {
  const std::optional<std::string> name = mcp::stringMember(params, "name");
  const mcp::Tool* tool = nullptr;
  for (const mcp::Tool& t : mcp::tools())
    if (name == t.name) tool = &t;
  if (!tool) {
    channel_.fail(id, mcp::kInvalidParams, "ferramenta desconhecida: " + name.value_or(""));
    return;
  }
  if (mcp::hasMember(params, "arguments") && !mcp::objectMember(params, "arguments")) {
    channel_.fail(id, mcp::kInvalidParams, "arguments: um objeto");
    return;
  }
  auto running = std::make_shared<mcp::Call>(channel_);
  running->progressToken = mcp::memberJson(mcp::objectMember(params, "_meta"), "progressToken");
  // The arguments outlive the message: the call may run on a thread of its own.
  const std::shared_ptr<JsonObject> arguments =
      agent::keptObject(mcp::objectMember(params, "arguments"));
  auto work = [this, id, key, tool, running, arguments] {
    std::string invalid;
    const std::optional<mcp::ToolResult> result =
        tool->run(workspace_, arguments.get(), *running, &invalid);
    {
      std::lock_guard lock(mutex_);
      running_.erase(key);
    }
    // A cancelled request gets no answer.
    if (running->cancelled) return;
    if (!result)
      channel_.fail(id, mcp::kInvalidParams, std::string(tool->name) + ": " + invalid);
    else
      channel_.respond(id, result->json());
  };
  if (std::string(tool->name) != "gravar") {
    work();
    return;
  }
  std::lock_guard lock(mutex_);
  if (running_.size() >= simultaneous_)
    return channel_.respond(
        id, mcp::textResult(std::to_string(running_.size()) +
                                " gravações já em andamento (--simultaneas " +
                                std::to_string(simultaneous_) + "): tente quando uma terminar",
                            true)
                .json());
  running_[key] = running;
  threads_.emplace_back(work);
}

void Server::cancel(JsonObject* params) {
  const std::optional<std::string> id = mcp::memberJson(params, "requestId");
  if (!id) return;
  std::lock_guard lock(mutex_);
  auto found = running_.find(*id);
  if (found == running_.end()) return;
  found->second->cancel();
}

void Server::stop() {
  {
    std::lock_guard lock(mutex_);
    for (auto& [id, call] : running_) call->cancel();
  }
  for (std::thread& t : threads_) t.join();
}

}  // namespace

int main(int argc, char** argv) {
  reopenClosedStandardDescriptors();
  signal(SIGPIPE, SIG_IGN);
  std::string folder = ".";
  std::set<std::string> variables;
  int64_t simultaneous = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--pasta" && i + 1 < argc) {
      folder = argv[++i];
    } else if (option == "--permitir-variavel" && i + 1 < argc &&
               agent::variableName(argv[i + 1])) {
      variables.insert(argv[++i]);
    } else if (option == "--simultaneas" && i + 1 < argc) {
      const std::optional<int64_t> n = parseInt64(argv[++i]);
      if (!n || *n < 1 || *n > 64) {
        writeAll(STDERR_FILENO,
                 std::string("vuzizeri-mcp: --simultaneas precisa de 1 a 64\n") + kUsage);
        return 2;
      }
      simultaneous = *n;
    } else if (option == "--version") {
      writeAll(STDOUT_FILENO, "vuzizeri-mcp " PROJECT_VERSION_TEXT "\n");
      return 0;
    } else if (option == "--help" || option == "-h") {
      writeAll(STDOUT_FILENO, std::string(kUsage) +
                                  "Um servidor MCP em stdio: as ferramentas aparelhos, "
                                  "validar_roteiro, gravar e verificar; os arquivos ficam em DIR "
                                  "(a pasta atual por padrão).\n"
                                  "  --simultaneas K           gravações ao mesmo tempo, de 1 a "
                                  "64 (como --paralelo auto conta a\n"
                                  "                            máquina)\n"
                                  "  --permitir-variavel NOME  um roteiro pode digitar $NOME, "
                                  "do ambiente do servidor (repetível;\n"
                                  "                            nenhum por padrão)\n");
      return 0;
    } else {
      writeAll(STDERR_FILENO, kUsage);
      return 2;
    }
  }
  std::error_code error;
  const fs::path canonical = fs::canonical(folder, error);
  if (error || !fs::is_directory(canonical))
    fail("--pasta: " + folder + ": não é uma pasta que se possa usar");
  media::silenceLibraryLog();
  // As many as the service would record at once on this machine.
  if (!simultaneous)
    simultaneous =
        vuz::automaticParts(sys::usableCpus(sys::affinityCpus()), sys::usableMemory(), 1179, 2556);
  Server server({canonical,
                 agent::siblingProgram("vuzizeri"),
                 agent::siblingProgram("vuzizeri-verificar"),
                 process::programDataFolder("vuzizeri"),
                 {variables, canonical}},
                static_cast<size_t>(simultaneous));
  for (std::string line; std::getline(std::cin, line);) server.handle(line);
  server.stop();
  return 0;
}
