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

std::string errorJson(const std::string& why) {
  return vuz::JsonValue::object({{"erro", why}}).text();
}

void refuse(SoupServerMessage* message, guint status, const std::string& why) {
  answer(message, status, errorJson(why));
}

constexpr char kTooLarge[] = "o corpo passa de 1 MB";

// For a body no one would wait for: the answer goes out on the socket now,
// and the connection ends, which ends libsoup's reading of it.
void answerAndClose(SoupServerMessage* message, const std::string& status, const std::string& why) {
  const std::string body = errorJson(why);
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
  // The members a job may be posted with are the request table's.
  if (std::string name = agent::unknownMember(request, agent::Front::kHttp); !name.empty())
    return "membro desconhecido: " + name;
  const std::optional<std::string> url = agent::stringMember(request, "url");
  if (!url) return "url: uma string";
  if (std::string why = urlRefusal(*url, policy); !why.empty()) return "url: " + why;
  if (agent::hasMember(request, "webhook")) {
    const std::optional<std::string> hook = agent::stringMember(request, "webhook");
    if (!hook) return "webhook: uma string";
    if (std::string why = urlRefusal(*hook, policy); !why.empty()) return "webhook: " + why;
  }
  if (agent::hasMember(request, "roteiro")) {
    const std::optional<std::string> storyboard = agent::stringMember(request, "roteiro");
    if (!storyboard) return "roteiro: uma string";
    if (std::string why = agent::storyboardRefusal(*storyboard, *url, settings.reach); !why.empty())
      return "roteiro: " + why;
  }
  std::string why;
  const std::optional<agent::RecorderWords> words =
      agent::recorderWords(request, agent::Front::kHttp, &why);
  if (!words) return why;
  if (words->sizes.empty() && !agent::hasMember(request, "aparelho") &&
      !agent::hasMember(request, "destino"))
    return "dê aparelho, destino, ou largura, altura, escala e topo";
  if (const std::optional<std::string> form = agent::stringMember(request, "formato"))
    if (!vuz::movieFormNamed(*form))
      return "formato desconhecido: " + *form + " (" + vuz::movieFormNames() + ")";
  return "";
}

// Whether `path` fits `pattern`, where "{id}" stands for one segment that
// is not empty (put in `id`) and an ending "/?" for a last slash or none.
bool fits(std::string_view pattern, std::string_view path, std::string* id) {
  if (pattern.ends_with("/?")) {
    pattern.remove_suffix(2);
    if (path.size() > 1 && path.ends_with('/')) path.remove_suffix(1);
  }
  const size_t at = pattern.find("{id}");
  if (at == std::string_view::npos) return pattern == path;
  if (!path.starts_with(pattern.substr(0, at))) return false;
  const std::string_view rest = path.substr(at);
  const std::string_view segment = rest.substr(0, rest.find('/'));
  if (segment.empty() || rest.substr(segment.size()) != pattern.substr(at + 4)) return false;
  *id = segment;
  return true;
}

// The devices' table as JSON: an empty list when it cannot be read.
std::string deviceList(const std::string& dataFolder) {
  return agent::deviceListJson(dataFolder).value_or(vuz::JsonValue::list({}).text());
}

// Whether `method` is one of `methods`, separated by spaces.
bool takes(std::string_view methods, std::string_view method) {
  for (size_t at = 0; at <= methods.size();) {
    const size_t end = std::min(methods.find(' ', at), methods.size());
    if (methods.substr(at, end - at) == method) return true;
    at = end + 1;
  }
  return false;
}

}  // namespace

// Who may take a route: anyone, who has the token, or who has the token or
// a signed link (a <video> cannot send the token).
enum class HttpApi::Access { kAnyone, kToken, kTokenOrLink };

struct HttpApi::Request {
  SoupServerMessage* message;
  GHashTable* query;
  std::string id;          // the path's {id}
  std::optional<Job> job;  // its job
};

struct HttpApi::Route {
  std::string_view methods;  // separated by spaces
  std::string_view pattern;  // as fits() reads it
  Access access;
  void (HttpApi::*handler)(const Request&);
  // What another method on the path gets with 405; none: 404.
  const char* otherMethods;
};

const std::vector<HttpApi::Route>& HttpApi::routes() {
  static const std::vector<Route> table = {
      {"GET HEAD", "/", Access::kAnyone, &HttpApi::page, "só GET"},
      {"GET HEAD", "/index.html", Access::kAnyone, &HttpApi::page, "só GET"},
      {"GET", "/v1/aparelhos", Access::kToken, &HttpApi::devices, nullptr},
      {"GET", "/v1/gravacoes/?", Access::kToken, &HttpApi::list, "GET ou POST"},
      {"POST", "/v1/gravacoes/?", Access::kToken, &HttpApi::post, "GET ou POST"},
      {"GET", "/v1/gravacoes/{id}", Access::kToken, &HttpApi::show, "GET ou DELETE"},
      {"DELETE", "/v1/gravacoes/{id}", Access::kToken, &HttpApi::remove, "GET ou DELETE"},
      {"GET HEAD", "/v1/gravacoes/{id}/video", Access::kTokenOrLink, &HttpApi::video, "só GET"},
  };
  return table;
}

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
  Request request{message, query, "", std::nullopt};
  const Route* pathRoute = nullptr;  // one of the path's routes, of any method
  const Route* route = nullptr;      // the path's route for this method
  for (const Route& r : routes()) {
    if (!fits(r.pattern, path, &request.id)) continue;
    pathRoute = &r;
    if (takes(r.methods, method)) {
      route = &r;
      break;
    }
  }
  // Under /v1 a stranger is not told which paths there are.
  const Access access = pathRoute                  ? pathRoute->access
                        : path.starts_with("/v1/") ? Access::kToken
                                                   : Access::kAnyone;
  if (!admitted(access, request)) {
    soup_message_headers_replace(soup_server_message_get_response_headers(message),
                                 "WWW-Authenticate", "Bearer");
    return refuse(message, SOUP_STATUS_UNAUTHORIZED, "token ausente ou errado");
  }
  if (!route && !(pathRoute && pathRoute->otherMethods))
    return refuse(message, SOUP_STATUS_NOT_FOUND, "não há " + path);
  if (!request.id.empty() && !(request.job = store_.find(request.id)))
    return refuse(message, SOUP_STATUS_NOT_FOUND, "não há a gravação " + request.id);
  if (!route) return refuse(message, SOUP_STATUS_METHOD_NOT_ALLOWED, pathRoute->otherMethods);
  (this->*route->handler)(request);
}

bool HttpApi::admitted(Access access, const Request& request) {
  if (access == Access::kAnyone) return true;
  const char* authorization = soup_message_headers_get_one(
      soup_server_message_get_request_headers(request.message), "Authorization");
  // The scheme's name in any case, as HTTP has it.
  std::string given;
  if (authorization && g_ascii_strncasecmp(authorization, "Bearer ", 7) == 0) {
    given = authorization + 7;
    given.erase(0, given.find_first_not_of(' '));
  }
  return sameSecret(given, settings_.token) ||
         (access == Access::kTokenOrLink && signedLink(request.id, request.query));
}

void HttpApi::page(const Request& request) {
  const std::string page = webPage(deviceList(settings_.dataFolder));
  soup_server_message_set_status(request.message, SOUP_STATUS_OK, nullptr);
  soup_message_headers_replace(soup_server_message_get_response_headers(request.message),
                               "Content-Security-Policy",
                               "default-src 'self'; script-src 'unsafe-inline'; style-src "
                               "'unsafe-inline'; media-src 'self'");
  soup_server_message_set_response(request.message, "text/html; charset=utf-8", SOUP_MEMORY_COPY,
                                   page.data(), page.size());
}

void HttpApi::devices(const Request& request) {
  answer(request.message, SOUP_STATUS_OK, deviceList(settings_.dataFolder));
}

void HttpApi::show(const Request& request) {
  answer(request.message, SOUP_STATUS_OK, jobJson(*request.job, videoLink(*request.job)).text());
}

void HttpApi::remove(const Request& request) {
  const std::string& id = request.id;
  if (runner_.cancel(id))
    return answer(request.message, SOUP_STATUS_ACCEPTED,
                  vuz::JsonValue::object({{"id", id}, {"estado", "cancelando"}}).text());
  // The row first: one that could not be removed keeps its file, and a file
  // left without its row is swept at the next start.
  std::string why;
  if (!store_.remove(id, &why))
    return refuse(request.message, SOUP_STATUS_INTERNAL_SERVER_ERROR,
                  "não apagou a gravação: " + why);
  std::error_code ignored;
  if (!request.job->file.empty()) fs::remove(settings_.videos + "/" + request.job->file, ignored);
  answer(request.message, SOUP_STATUS_NO_CONTENT, "");
}

// A page of the jobs, in the order they were posted, with the address of
// the next one while there are more.
void HttpApi::list(const Request& request) {
  SoupServerMessage* message = request.message;
  GHashTable* query = request.query;
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
  std::vector<vuz::JsonValue> items;
  for (const Job& job : jobs) items.push_back(jobJson(job, videoLink(job)));
  const vuz::JsonValue next =
      more ? vuz::JsonValue(std::string(kPrefix) + "?limite=" + std::to_string(count) +
                            "&depois=" + jobs.back().id)
           : vuz::JsonValue();
  answer(message, SOUP_STATUS_OK,
         vuz::JsonValue::object({{"gravacoes", vuz::JsonValue::list(items)}, {"proxima", next}})
             .text());
}

void HttpApi::post(const Request& request) {
  SoupServerMessage* message = request.message;
  const auto* body = static_cast<Body*>(g_object_get_data(G_OBJECT(message), "vuzizeri-corpo"));
  if (!body || body->tooLarge)
    return refuse(message, SOUP_STATUS_REQUEST_ENTITY_TOO_LARGE, kTooLarge);
  agent::ParsedObject posted;
  std::string why;
  if (!agent::parseObject(body->bytes, &posted, &why))
    return refuse(message, SOUP_STATUS_BAD_REQUEST, "JSON inválido: " + why);
  if (why = requestRefusal(posted.object, settings_); !why.empty())
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
      job.id + "." + std::string(agent::stringMember(posted.object, "formato").value_or("mp4"));
  job.created = static_cast<int64_t>(std::time(nullptr));
  if (!store_.add(job, &why))
    return refuse(message, SOUP_STATUS_INTERNAL_SERVER_ERROR, "não guardou a gravação: " + why);
  runner_.wake();
  soup_message_headers_replace(soup_server_message_get_response_headers(message), "Location",
                               (std::string(kPrefix) + "/" + job.id).c_str());
  answer(message, SOUP_STATUS_ACCEPTED,
         vuz::JsonValue::object({{"id", job.id}, {"estado", kWaiting}}).text());
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

void HttpApi::video(const Request& request) {
  SoupServerMessage* message = request.message;
  const Job& job = *request.job;
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
  SoupMessageHeaders* asked = soup_server_message_get_request_headers(message);
  const ByteRange range = byteRange(std::string(soup_server_message_get_method(message)) == "GET"
                                        ? soup_message_headers_get_one(asked, "Range")
                                        : nullptr,
                                    length);
  soup_message_headers_remove(asked, "Range");
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
