// vuzizeri-servidor --porta N --pasta DIR [--simultaneas K]
//                   [--permitir-rede-local] [--permitir-rede FAIXA]... [--guardar-por TEMPO]
//                   [--permitir-variavel NOME]...
//                   [--fila-maxima N] [--banco URL [--nome NOME] [--tentativas N]]
//
// The recorder as an HTTP service: jobs posted to /v1/gravacoes wait in a
// SQLite queue in DIR, at most K are recorded at once, each by the
// recorder in its own sandbox, and their videos are served from DIR. With
// --banco, the queue is in PostgreSQL and any number of replicas share it
// and DIR.

#include <fcntl.h>
#include <glib-unix.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <set>
#include <string>

#include "common/fail.h"
#include "common/number_syntax.h"
#include "platform/process/program_data.h"
#include "platform/system/resources.h"
#include "vuzizeri/agent/programs.h"
#include "vuzizeri/agent/storyboard_check.h"
#include "vuzizeri/launcher/parts.h"
#include "vuzizeri/server/http_api.h"
#include "vuzizeri/server/job_runner.h"
#include "vuzizeri/server/job_store.h"
#include "vuzizeri/server/pg_job_store.h"
#include "vuzizeri/server/webhook.h"

namespace fs = std::filesystem;

namespace {

constexpr char kUsage[] =
    "uso: vuzizeri-servidor --porta N --pasta DIR [--simultaneas K] [--permitir-rede-local]\n"
    "                       [--permitir-rede FAIXA]... [--guardar-por TEMPO] [--fila-maxima N]\n"
    "                       [--permitir-variavel NOME]...\n"
    "                       [--banco URL [--nome NOME] [--tentativas N]]\n";
constexpr char kHelp[] =
    "Grava páginas como vídeos de tela de telefone para quem pedir por HTTP: POST\n"
    "/v1/gravacoes com um objeto JSON (url, aparelho, quadro_a_quadro, roteiro, formato, fps,\n"
    "destino, webhook...), a fila e os vídeos em DIR, uma página para usar em /.\n"
    "O token de acesso vem de VUZIZERI_TOKEN (Authorization: Bearer TOKEN).\n"
    "  --porta N               a porta, em todos os endereços (0: uma livre)\n"
    "  --pasta DIR             o banco de dados e os vídeos\n"
    "  --simultaneas K         gravações ao mesmo tempo (como --paralelo auto conta a máquina)\n"
    "  --permitir-rede-local   aceita páginas em loopback e redes privadas e link-local\n"
    "  --permitir-rede FAIXA   aceita só esta faixa da rede local (10.1.0.0/16; repetível)\n"
    "  --guardar-por TEMPO     apaga as gravações terminadas há mais de TEMPO (90s, 30m, 12h, "
    "7d)\n"
    "  --permitir-variavel NOME  um roteiro pode digitar $NOME, do ambiente do serviço "
    "(repetível;\n"
    "                          nenhum por padrão: o ambiente guarda o token)\n"
    "  --fila-maxima N         gravações que podem esperar na fila; além delas, 503 (100)\n"
    "  --banco URL             a fila num PostgreSQL (postgresql://...; ou VUZIZERI_BANCO),\n"
    "                          que réplicas na mesma pasta compartilhada dividem\n"
    "  --nome NOME             o nome desta réplica (o da máquina e o processo)\n"
    "  --tentativas N          vezes que uma gravação começa, se sua réplica morrer (2)\n";
// The interrupted jobs' fate after a stop the service did not see coming.
constexpr char kInterrupted[] = "interrompida: o serviço parou durante a gravação (tente de novo)";

struct Options {
  int port = -1;
  std::string folder;
  int simultaneous = 0;
  bool localAllowed = false;
  std::vector<server::AddressRange> allowed;
  int64_t keepSeconds = 0;  // 0: forever
  std::set<std::string> variables;
  int64_t mostWaiting = 100;
  std::string database;  // PostgreSQL's URL; "": SQLite in the folder
  server::Replica replica;
};

[[noreturn]] void usage(const std::string& why) {
  std::fputs(("vuzizeri-servidor: " + why + "\n" + kUsage).c_str(), stderr);
  std::exit(2);
}

// "90s", "30m", "12h", "7d", or seconds.
std::optional<int64_t> parseKeep(const std::string& text) {
  if (text.empty()) return std::nullopt;
  int64_t unit = 1;
  std::string number = text;
  switch (text.back()) {
    case 's':
      unit = 1;
      break;
    case 'm':
      unit = 60;
      break;
    case 'h':
      unit = 3600;
      break;
    case 'd':
      unit = 86400;
      break;
    default:
      unit = 0;
  }
  if (unit)
    number.pop_back();
  else
    unit = 1;
  const std::optional<int64_t> n = parseInt64(number);
  if (!n || *n <= 0 || *n > INT64_MAX / 86400 / unit) return std::nullopt;
  return *n * unit;
}

Options parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) usage(option + " precisa de um valor");
      return argv[++i];
    };
    if (option == "--help" || option == "-h") {
      std::fputs((std::string(kUsage) + kHelp).c_str(), stdout);
      std::exit(0);
    } else if (option == "--version") {
      std::puts("vuzizeri-servidor " PROJECT_VERSION_TEXT);
      std::exit(0);
    } else if (option == "--porta") {
      const std::optional<int64_t> n = parseInt64(value());
      if (!n || *n < 0 || *n > 65535) usage("--porta precisa de 0 a 65535");
      o.port = static_cast<int>(*n);
    } else if (option == "--pasta") {
      o.folder = value();
    } else if (option == "--simultaneas") {
      const std::optional<int64_t> n = parseInt64(value());
      if (!n || *n < 1 || *n > 64) usage("--simultaneas precisa de 1 a 64");
      o.simultaneous = static_cast<int>(*n);
    } else if (option == "--permitir-rede-local") {
      o.localAllowed = true;
    } else if (option == "--permitir-rede") {
      const std::string text = value();
      const std::optional<server::AddressRange> range = server::parseRange(text);
      if (!range) usage("--permitir-rede precisa de uma faixa como 10.1.0.0/16: " + text);
      o.allowed.push_back(*range);
    } else if (option == "--guardar-por") {
      const std::string text = value();
      const std::optional<int64_t> seconds = parseKeep(text);
      if (!seconds) usage("--guardar-por precisa de um tempo como 7d ou 12h: " + text);
      o.keepSeconds = *seconds;
    } else if (option == "--permitir-variavel") {
      const std::string name = value();
      if (!agent::variableName(name))
        usage("--permitir-variavel precisa de um nome como SENHA_DE_TESTE: " + name);
      o.variables.insert(name);
    } else if (option == "--fila-maxima") {
      const std::optional<int64_t> n = parseInt64(value());
      if (!n || *n < 1 || *n > 1'000'000) usage("--fila-maxima precisa de 1 a 1000000");
      o.mostWaiting = *n;
    } else if (option == "--banco") {
      o.database = value();
    } else if (option == "--nome") {
      o.replica.name = value();
      if (o.replica.name.empty()) usage("--nome precisa de um nome");
    } else if (option == "--tentativas") {
      const std::optional<int64_t> n = parseInt64(value());
      if (!n || *n < 1 || *n > 100) usage("--tentativas precisa de 1 a 100");
      o.replica.attempts = static_cast<int>(*n);
    } else {
      usage("opção desconhecida: " + option);
    }
  }
  if (o.port < 0 || o.folder.empty()) usage("faltam --porta e --pasta");
  if (const char* url = std::getenv("VUZIZERI_BANCO"); o.database.empty() && url) o.database = url;
  if (o.replica.name.empty()) o.replica.name = g_get_host_name() + ("-" + std::to_string(getpid()));
  return o;
}

// A second service on the same folder would end the first one's jobs as
// interrupted: one folder, one service.
void lockFolder(const std::string& folder) {
  const std::string path = folder + "/servidor.lock";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) fail(path + ": " + std::strerror(errno));
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) fail("outro vuzizeri-servidor já usa " + folder);
}

// Whether `name` is one the service gives a movie (ID.mp4), or the
// recorder's unfinished one (.ID.mp4.parcial-XXXXXXXX).
bool oursByName(std::string name) {
  if (name.starts_with(".")) name.erase(0, 1);
  static const GRegex* pattern = g_regex_new(
      "^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\.[a-z0-9]+"
      "(\\.parcial-[0-9a-f]{8})?$",
      G_REGEX_OPTIMIZE, GRegexMatchFlags(0), nullptr);
  return g_regex_match(pattern, name.c_str(), GRegexMatchFlags(0), nullptr);
}

// Files of ours in the videos folder no job names: a removal cut short, or
// an unfinished movie of a recording the service did not see end. Anything
// else someone put there stays.
void sweepOrphans(server::JobStore& store, const std::string& videos) {
  std::set<std::string> named, recording;
  for (const server::Job& job : store.all()) {
    if (!job.file.empty()) named.insert(job.file);
    // On a shared folder, another replica's movie being made, or about to
    // be by one that claims it as we look.
    if (!job.finished && !job.file.empty()) recording.insert("." + job.file + ".parcial-");
  }
  std::error_code ignored;
  for (const fs::directory_entry& entry : fs::directory_iterator(videos, ignored)) {
    const std::string name = entry.path().filename().string();
    const size_t partial = name.find(".parcial-");
    if (partial != std::string::npos && recording.count(name.substr(0, partial + 9))) continue;
    if (!named.count(name) && oursByName(name) && entry.is_regular_file(ignored))
      fs::remove(entry.path(), ignored);
  }
}

// A database lost or emptied (removed, truncated, restored from nothing)
// would name none of the videos, and the sweep would take them all: with
// videos there, the service starts only on the database that names them.
void refuseWithoutJobs(const std::string& database, const std::string& videos) {
  if (server::JobStore::holdsJobs(database)) return;
  std::error_code ignored;
  if (fs::directory_iterator(videos, ignored) == fs::directory_iterator()) return;
  fail("banco de dados: " + database + " falta, está vazio ou não tem a fila, e " + videos +
       " tem arquivos; nada foi apagado: devolva o banco de dados ou tire os arquivos de lá");
}

// The queue: SQLite in the folder, which it keeps to this service, or
// PostgreSQL, shared with the replicas on the same folder.
std::unique_ptr<server::JobStore> openQueue(const Options& options, const fs::path& folder,
                                            const std::string& videos) {
  std::string why;
  if (!options.database.empty()) {
    std::unique_ptr<server::JobStore> store =
        server::openPostgres(options.database, options.replica, &why);
    if (!store) fail("banco de dados: " + why);
    return store;
  }
  lockFolder(folder);
  refuseWithoutJobs(folder / "gravacoes.db", videos);
  std::unique_ptr<server::JobStore> store = server::JobStore::open(folder / "gravacoes.db", &why);
  if (!store) fail("banco de dados: " + why);
  store->failInterrupted(kInterrupted);
  return store;
}

struct Retention {
  server::JobStore* store;
  std::string videos;
  int64_t keepSeconds;
};

gboolean removeExpired(gpointer data) {
  const auto* r = static_cast<Retention*>(data);
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  for (const server::Job& job : r->store->finishedBefore(now - r->keepSeconds)) {
    std::error_code ignored;
    if (r->store->remove(job.id) && !job.file.empty())
      fs::remove(r->videos + "/" + job.file, ignored);
  }
  return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
  reopenClosedStandardDescriptors();
  signal(SIGPIPE, SIG_IGN);
  const Options options = parse(argc, argv);
  const char* token = std::getenv("VUZIZERI_TOKEN");
  if (!token || std::strlen(token) < 16)
    fail("VUZIZERI_TOKEN precisa de um token de 16 caracteres ou mais");

  std::error_code error;
  fs::create_directories(options.folder + "/videos", error);
  const fs::path folder = fs::canonical(options.folder, error);
  if (error || !fs::is_directory(folder))
    fail("--pasta: " + options.folder + ": não é uma pasta que se possa usar");
  const std::string videos = folder.string() + "/videos";
  std::unique_ptr<server::JobStore> store = openQueue(options, folder, videos);
  sweepOrphans(*store, videos);

  const server::NetworkPolicy policy(options.localAllowed, options.allowed);
  const int simultaneous =
      options.simultaneous
          ? options.simultaneous
          : static_cast<int>(vuz::automaticParts(sys::usableCpus(sys::affinityCpus()),
                                                 sys::usableMemory(), 1179, 2556));
  server::WebhookSender webhooks(token, policy);
  const agent::StoryboardRules reach{options.variables, std::nullopt};
  server::JobRunner runner(
      *store, {agent::siblingProgram("vuzizeri"), videos, simultaneous, policy, reach}, webhooks);
  server::HttpApi api(
      *store, runner,
      {token, videos, process::programDataFolder("vuzizeri"), policy, reach, options.mostWaiting});
  std::string why;
  const std::string where = api.listen(options.port, &why);
  if (where.empty()) fail("--porta " + std::to_string(options.port) + ": " + why);
  runner.start();

  Retention retention{store.get(), videos, options.keepSeconds};
  if (options.keepSeconds) {
    removeExpired(&retention);
    g_timeout_add_seconds(60, removeExpired, &retention);
  }
  std::printf("vuzizeri-servidor: %s (%d ao mesmo tempo%s)\n", where.c_str(), simultaneous,
              options.database.empty() ? "" : (", réplica " + options.replica.name).c_str());
  std::fflush(stdout);

  g_autoptr(GMainLoop) loop = g_main_loop_new(nullptr, FALSE);
  for (int signal : {SIGTERM, SIGINT, SIGHUP})
    g_unix_signal_add(
        signal,
        +[](gpointer l) {
          g_main_loop_quit(static_cast<GMainLoop*>(l));
          return G_SOURCE_REMOVE;
        },
        loop);
  g_main_loop_run(loop);
  // The recordings in flight end, and wait again for the next start.
  runner.stop();
  return 0;
}
