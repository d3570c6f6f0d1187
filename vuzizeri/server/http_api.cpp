#include "vuzizeri/server/http_api.h"

#include <sys/stat.h>

#include <ctime>
#include <filesystem>

#include "common/number_syntax.h"
#include "vuzizeri/agent/json_members.h"
#include "vuzizeri/agent/programs.h"
#include "vuzizeri/agent/recording_request.h"
#include "vuzizeri/movie/movie_forms.h"
#include "vuzizeri/report/json.h"
#include "vuzizeri/server/byte_range.h"
#include "vuzizeri/server/web_page.h"
#include "vuzizeri/server/webhook.h"

namespace fs = std::filesystem;

namespace server {
namespace {

constexpr char kPrefix[] = "/v1/gravacoes";
// How long a signed video link plays without the token.
constexpr int64_t kLinkSeconds = 3600;
// The jobs a listing's page holds, unless it asks for fewer or more.
constexpr int64_t kPageJobs = 100;
constexpr int64_t kMostPageJobs = 1000;
// The members a job may be posted with.
constexpr const char* kMembers[] = {"url",     "aparelho", "largura",         "altura",
                                    "escala",  "topo",     "quadro_a_quadro", "roteiro",
                                    "formato", "fps",      "destino",         "webhook"};

// The body as it came, kept without libsoup's copy so that a body past the
// limit is counted, not held.
struct Body {
  std::string bytes;
  bool tooLarge = false;
};

// libsoup takes out the Content-Length a 204 must not carry, then reads the
// answer as one that ends with the connection and closes it under the
// client's next request: once the head is written, say it has no body.
void keepAlive(SoupServerMessage* message) {
  g_signal_connect(message, "wrote-headers", G_CALLBACK(+[](SoupServerMessage* m, gpointer) {
                     soup_message_headers_set_encoding(soup_server_message_get_response_headers(m),
                                                       SOUP_ENCODING_NONE);
                   }),
                   nullptr);
}

void answer(SoupServerMessage* message, guint status, const std::string& json) {
  soup_server_message_set_status(message, status, nullptr);
  if (json.empty()) return keepAlive(message);
  soup_server_message_set_response(message, "application/json; charset=utf-8", SOUP_MEMORY_COPY,
                                   json.data(), json.size());
}

void refuse(SoupServerMessage* message, guint status, const std::string& why) {
  answer(message, status, "{\"erro\": " + vuz::jsonString(why) + "}");
}

constexpr char kTooLarge[] = "o corpo passa de 1 MB";

// For a body no one would wait for: the answer goes out on the socket now,
// and the connection ends, which ends libsoup's reading of it.
void answerAndClose(SoupServerMessage* message, const std::string& status, const std::string& why) {
  const std::string body = "{\"erro\": " + vuz::jsonString(why) + "}";
  const std::string text = "HTTP/1.1 " + status +
                           "\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: " +
                           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  GSocket* socket = soup_server_message_get_socket(message);
  g_socket_send(socket, text.data(), text.size(), nullptr, nullptr);
  g_socket_shutdown(socket, TRUE, TRUE, nullptr);
}

const char* contentType(const std::string& file) {
  const std::string extension = fs::path(file).extension().string();
  if (extension == ".mov") return "video/quicktime";
  if (extension == ".webm") return "video/webm";
  if (extension == ".gif") return "image/gif";
  return "video/mp4";
}

std::string linkSignature(const std::string& token, const std::string& id, int64_t until) {
  return signature(token, id + "\n" + std::to_string(until)).substr(7);
}

// Why a job cannot be made of `request`, or "".
std::string requestRefusal(JsonObject* request, const ApiSettings& settings) {
  const NetworkPolicy& policy = settings.policy;
  std::vector<std::string> names;
  GList* members = json_object_get_members(request);
  for (GList* n = members; n; n = n->next) names.emplace_back(static_cast<const char*>(n->data));
  g_list_free(members);
  for (const std::string& name : names) {
    bool known = false;
    for (const char* member : kMembers) known = known || name == member;
    if (!known) return "membro desconhecido: " + name;
  }
  const std::optional<std::string> url = agent::stringMember(request, "url");
  if (!url) return "url: uma string";
  if (std::string why = urlRefusal(*url, policy); !why.empty()) return "url: " + why;
  if (json_object_has_member(request, "webhook")) {
    const std::optional<std::string> hook = agent::stringMember(request, "webhook");
    if (!hook) return "webhook: uma string";
    if (std::string why = urlRefusal(*hook, policy); !why.empty()) return "webhook: " + why;
  }
  if (json_object_has_member(request, "roteiro")) {
    const std::optional<std::string> storyboard = agent::stringMember(request, "roteiro");
    if (!storyboard) return "roteiro: uma string";
    if (std::string why = agent::storyboardRefusal(*storyboard, *url, settings.reach); !why.empty())
      return "roteiro: " + why;
  }
  std::string why;
  const std::optional<agent::RecorderWords> words =
      agent::recorderWords(request, agent::Front::kHttp, &why);
  if (!words) return why;
  if (words->sizes.empty() && !json_object_has_member(request, "aparelho") &&
      !json_object_has_member(request, "destino"))
    return "dê aparelho, destino, ou largura, altura, escala e topo";
  if (const std::optional<std::string> form = agent::stringMember(request, "formato"))
    if (!vuz::movieFormNamed(*form))
      return "formato desconhecido: " + *form + " (" + vuz::movieFormNames() + ")";
  return "";
}

}  // namespace

bool sameSecret(const std::string& given, const std::string& expected) {
  if (expected.empty()) return false;
  unsigned char differ = given.size() == expected.size() ? 0 : 1;
  for (size_t i = 0; i < given.size(); ++i)
    differ |= static_cast<unsigned char>(given[i] ^ expected[i % expected.size()]);
  return differ == 0;
}

HttpApi::HttpApi(JobStore& store, JobRunner& runner, ApiSettings settings)
    : store_(store),
      runner_(runner),
      settings_(std::move(settings)),
      server_(soup_server_new("server-header", "vuzizeri-servidor", nullptr)) {
  // libsoup keeps one entry a path: the early and the late handler of the
  // jobs' path go together, or a request there finds no late one.
  soup_server_add_early_handler(server_, kPrefix, early, this, nullptr);
  soup_server_add_handler(server_, kPrefix, handle, this, nullptr);
  soup_server_add_early_handler(server_, nullptr, early, this, nullptr);
  soup_server_add_handler(server_, nullptr, handle, this, nullptr);
}

HttpApi::~HttpApi() {
  soup_server_disconnect(server_);
  g_object_unref(server_);
}

std::string HttpApi::listen(int port, std::string* why) {
  g_autoptr(GError) error = nullptr;
  if (!soup_server_listen_all(server_, static_cast<guint>(port), SoupServerListenOptions(0),
                              &error)) {
    *why = error->message;
    return "";
  }
  std::string where;
  GSList* uris = soup_server_get_uris(server_);
  for (GSList* u = uris; u; u = u->next) {
    g_autofree char* text = g_uri_to_string(static_cast<GUri*>(u->data));
    if (!where.empty()) where += ' ';
    where += text;
  }
  g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
  return where;
}

void HttpApi::early(SoupServer*, SoupServerMessage* message, const char*, GHashTable*, gpointer) {
  SoupMessageHeaders* headers = soup_server_message_get_request_headers(message);
  // Read as it is written: libsoup takes -1, or a number past 64 bits, for
  // a body it must read to its end before it answers, and waits for it.
  const char* declared = soup_message_headers_get_one(headers, "Content-Length");
  if (declared && soup_message_headers_get_encoding(headers) != SOUP_ENCODING_CHUNKED) {
    const std::string length = declared;
    if (length.empty() || length.find_first_not_of("0123456789") != std::string::npos)
      return answerAndClose(message, "400 Bad Request", "Content-Length inválido: " + length);
    if (length.size() > 8) return answerAndClose(message, "413 Payload Too Large", kTooLarge);
    if (std::stoul(length) > kMostBody) {
      // Read and dropped, then answered: a client still sending would
      // otherwise find the connection reset before it reads the answer.
      refuse(message, SOUP_STATUS_REQUEST_ENTITY_TOO_LARGE, kTooLarge);
      soup_message_headers_replace(soup_server_message_get_response_headers(message), "Connection",
                                   "close");
      return;
    }
  }
  // A body sent in chunks is counted as it comes.
  soup_message_body_set_accumulate(soup_server_message_get_request_body(message), FALSE);
  auto* body = new Body;
  g_object_set_data_full(G_OBJECT(message), "vuzizeri-corpo", body,
                         [](gpointer b) { delete static_cast<Body*>(b); });
  g_signal_connect(message, "got-chunk",
                   G_CALLBACK(+[](SoupServerMessage*, GBytes* chunk, Body* b) {
                     gsize size = 0;
                     const char* data = static_cast<const char*>(g_bytes_get_data(chunk, &size));
                     if (b->tooLarge || b->bytes.size() + size > kMostBody) {
                       b->tooLarge = true;
                       b->bytes.clear();
                       return;
                     }
                     b->bytes.append(data, size);
                   }),
                   body);
}

void HttpApi::handle(SoupServer*, SoupServerMessage* message, const char* path, GHashTable* query,
                     gpointer self) {
  static_cast<HttpApi*>(self)->serve(message, path, query);
}

void HttpApi::serve(SoupServerMessage* message, const std::string& path, GHashTable* query) {
  const std::string method = soup_server_message_get_method(message);
  if (path == "/" || path == "/index.html") {
    if (method != "GET" && method != "HEAD")
      return refuse(message, SOUP_STATUS_METHOD_NOT_ALLOWED, "só GET");
    const std::string page = webPage(agent::deviceListJson(settings_.dataFolder).value_or("[]"));
    soup_server_message_set_status(message, SOUP_STATUS_OK, nullptr);
    soup_message_headers_replace(soup_server_message_get_response_headers(message),
                                 "Content-Security-Policy",
                                 "default-src 'self'; script-src 'unsafe-inline'; style-src "
                                 "'unsafe-inline'; media-src 'self'");
    soup_server_message_set_response(message, "text/html; charset=utf-8", SOUP_MEMORY_COPY,
                                     page.data(), page.size());
    return;
  }
  if (!path.starts_with("/v1/")) return refuse(message, SOUP_STATUS_NOT_FOUND, "não há " + path);

  // /v1/gravacoes/ID/video plays with a signed link, for a <video> that
  // cannot send the token.
  const std::string rest = path.starts_with(kPrefix) ? path.substr(sizeof kPrefix - 1) : "";
  const size_t slash = rest.find('/', 1);
  const std::string id =
      rest.size() > 1 ? rest.substr(1, slash == std::string::npos ? slash : slash - 1) : "";
  const std::string tail = slash == std::string::npos ? "" : rest.substr(slash);
  const bool videoPath = !id.empty() && tail == "/video";
  const char* authorization = soup_message_headers_get_one(
      soup_server_message_get_request_headers(message), "Authorization");
  // The scheme's name in any case, as HTTP has it.
  std::string given;
  if (authorization && g_ascii_strncasecmp(authorization, "Bearer ", 7) == 0) {
    given = authorization + 7;
    given.erase(0, given.find_first_not_of(' '));
  }
  if (!sameSecret(given, settings_.token) && !(videoPath && signedLink(id, query))) {
    soup_message_headers_replace(soup_server_message_get_response_headers(message),
                                 "WWW-Authenticate", "Bearer");
    return refuse(message, SOUP_STATUS_UNAUTHORIZED, "token ausente ou errado");
  }

  if (path == "/v1/aparelhos" && method == "GET")
    return answer(message, SOUP_STATUS_OK,
                  agent::deviceListJson(settings_.dataFolder).value_or("[]"));
  if (path == kPrefix || path == std::string(kPrefix) + "/") {
    if (method == "POST") return post(message);
    if (method != "GET") return refuse(message, SOUP_STATUS_METHOD_NOT_ALLOWED, "GET ou POST");
    return list(message, query);
  }
  if (id.empty() || (!tail.empty() && !videoPath))
    return refuse(message, SOUP_STATUS_NOT_FOUND, "não há " + path);
  const std::optional<Job> job = store_.find(id);
  if (!job) return refuse(message, SOUP_STATUS_NOT_FOUND, "não há a gravação " + id);
  if (videoPath) {
    if (method != "GET" && method != "HEAD")
      return refuse(message, SOUP_STATUS_METHOD_NOT_ALLOWED, "só GET");
    return video(message, *job);
  }
  if (method == "GET") return answer(message, SOUP_STATUS_OK, jobJson(*job, videoLink(*job)));
  if (method != "DELETE") return refuse(message, SOUP_STATUS_METHOD_NOT_ALLOWED, "GET ou DELETE");
  if (runner_.cancel(id))
    return answer(message, SOUP_STATUS_ACCEPTED,
                  "{\"id\": " + vuz::jsonString(id) + ", \"estado\": \"cancelando\"}");
  // The row first: one that could not be removed keeps its file, and a file
  // left without its row is swept at the next start.
  std::string why;
  if (!store_.remove(id, &why))
    return refuse(message, SOUP_STATUS_INTERNAL_SERVER_ERROR, "não apagou a gravação: " + why);
  std::error_code ignored;
  if (!job->file.empty()) fs::remove(settings_.videos + "/" + job->file, ignored);
  answer(message, SOUP_STATUS_NO_CONTENT, "");
}

// A page of the jobs, in the order they were posted, with the address of
// the next one while there are more.
void HttpApi::list(SoupServerMessage* message, GHashTable* query) {
  const char* limit =
      query ? static_cast<const char*>(g_hash_table_lookup(query, "limite")) : nullptr;
  const char* after =
      query ? static_cast<const char*>(g_hash_table_lookup(query, "depois")) : nullptr;
  int64_t count = kPageJobs;
  if (limit) {
    const std::optional<int64_t> n = parseInt64(limit);
    if (!n || *n < 1 || *n > kMostPageJobs)
      return refuse(message, SOUP_STATUS_BAD_REQUEST,
                    "limite: de 1 a " + std::to_string(kMostPageJobs));
    count = *n;
  }
  if (after && !store_.find(after))
    return refuse(message, SOUP_STATUS_BAD_REQUEST,
                  std::string("depois: não há a gravação ") + after);
  std::vector<Job> jobs = store_.page(after ? after : "", count + 1);
  const bool more = static_cast<int64_t>(jobs.size()) > count;
  if (more) jobs.pop_back();
  std::string text;
  for (const Job& job : jobs) text += (text.empty() ? "" : ", ") + jobJson(job, videoLink(job));
  const std::string next =
      more ? vuz::jsonString(std::string(kPrefix) + "?limite=" + std::to_string(count) +
                             "&depois=" + jobs.back().id)
           : "null";
  answer(message, SOUP_STATUS_OK, "{\"gravacoes\": [" + text + "], \"proxima\": " + next + "}");
}

void HttpApi::post(SoupServerMessage* message) {
  const auto* body = static_cast<Body*>(g_object_get_data(G_OBJECT(message), "vuzizeri-corpo"));
  if (!body || body->tooLarge)
    return refuse(message, SOUP_STATUS_REQUEST_ENTITY_TOO_LARGE, kTooLarge);
  agent::ParsedObject request;
  std::string why;
  if (!agent::parseObject(body->bytes, &request, &why))
    return refuse(message, SOUP_STATUS_BAD_REQUEST, "JSON inválido: " + why);
  if (why = requestRefusal(request.object, settings_); !why.empty())
    return refuse(message, SOUP_STATUS_BAD_REQUEST, why);
  if (const int64_t waiting = store_.waiting(); waiting >= settings_.mostWaiting) {
    soup_message_headers_replace(soup_server_message_get_response_headers(message), "Retry-After",
                                 "60");
    return refuse(
        message, SOUP_STATUS_SERVICE_UNAVAILABLE,
        "a fila está cheia: " + std::to_string(waiting) + " gravações esperam; tente mais tarde");
  }
  g_autofree char* uuid = g_uuid_string_random();
  Job job;
  job.id = uuid;
  job.state = kWaiting;
  job.request = body->bytes;
  job.file =
      job.id + "." + std::string(agent::stringMember(request.object, "formato").value_or("mp4"));
  job.created = static_cast<int64_t>(std::time(nullptr));
  if (!store_.add(job, &why))
    return refuse(message, SOUP_STATUS_INTERNAL_SERVER_ERROR, "não guardou a gravação: " + why);
  runner_.wake();
  soup_message_headers_replace(soup_server_message_get_response_headers(message), "Location",
                               (std::string(kPrefix) + "/" + job.id).c_str());
  answer(message, SOUP_STATUS_ACCEPTED,
         "{\"id\": " + vuz::jsonString(job.id) + ", \"estado\": \"" + kWaiting + "\"}");
}

std::string HttpApi::videoLink(const Job& job) {
  if (job.state != kDone) return "";
  const int64_t until = static_cast<int64_t>(std::time(nullptr)) + kLinkSeconds;
  return std::string(kPrefix) + "/" + job.id + "/video?expira=" + std::to_string(until) +
         "&assinatura=" + linkSignature(settings_.token, job.id, until);
}

bool HttpApi::signedLink(const std::string& id, GHashTable* query) {
  if (!query) return false;
  const char* until = static_cast<const char*>(g_hash_table_lookup(query, "expira"));
  const char* signature = static_cast<const char*>(g_hash_table_lookup(query, "assinatura"));
  if (!until || !signature) return false;
  char* end = nullptr;
  const long long when = std::strtoll(until, &end, 10);
  if (*end || when < static_cast<long long>(std::time(nullptr))) return false;
  return sameSecret(signature, linkSignature(settings_.token, id, when));
}

void HttpApi::video(SoupServerMessage* message, const Job& job) {
  if (job.state != kDone)
    return refuse(message, SOUP_STATUS_CONFLICT, "a gravação está " + job.state);
  const std::string path = settings_.videos + "/" + job.file;
  g_autoptr(GError) error = nullptr;
  g_autoptr(GMappedFile) mapped = g_mapped_file_new(path.c_str(), FALSE, &error);
  if (!mapped) return refuse(message, SOUP_STATUS_NOT_FOUND, "o vídeo sumiu: " + job.file);
  g_autoptr(GBytes) bytes = g_mapped_file_get_bytes(mapped);
  const uint64_t length = g_bytes_get_size(bytes);
  // The range is ours to answer: libsoup's own took any number of them,
  // and ends past the file.
  SoupMessageHeaders* request = soup_server_message_get_request_headers(message);
  const ByteRange range = byteRange(std::string(soup_server_message_get_method(message)) == "GET"
                                        ? soup_message_headers_get_one(request, "Range")
                                        : nullptr,
                                    length);
  soup_message_headers_remove(request, "Range");
  SoupMessageHeaders* headers = soup_server_message_get_response_headers(message);
  if (range.answer == ByteRange::Answer::kUnsatisfiable) {
    refuse(message, SOUP_STATUS_REQUESTED_RANGE_NOT_SATISFIABLE,
           "o intervalo começa depois do fim do vídeo");
    soup_message_headers_replace(headers, "Content-Range",
                                 ("bytes */" + std::to_string(length)).c_str());
    return;
  }
  soup_message_headers_set_content_type(headers, contentType(job.file), nullptr);
  soup_message_headers_replace(headers, "Accept-Ranges", "bytes");
  const std::string disposition = "inline; filename=\"" + job.file + "\"";
  soup_message_headers_replace(headers, "Content-Disposition", disposition.c_str());
  SoupMessageBody* body = soup_server_message_get_response_body(message);
  if (range.answer == ByteRange::Answer::kWhole) {
    soup_server_message_set_status(message, SOUP_STATUS_OK, nullptr);
    return soup_message_body_append_bytes(body, bytes);
  }
  soup_server_message_set_status(message, SOUP_STATUS_PARTIAL_CONTENT, nullptr);
  soup_message_headers_set_content_range(headers, static_cast<goffset>(range.first),
                                         static_cast<goffset>(range.last),
                                         static_cast<goffset>(length));
  g_autoptr(GBytes) part = g_bytes_new_from_bytes(bytes, range.first, range.last - range.first + 1);
  soup_message_body_append_bytes(body, part);
}

}  // namespace server
