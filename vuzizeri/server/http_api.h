#pragma once

#include <libsoup/soup.h>

#include <string>
#include <vector>

#include "vuzizeri/agent/storyboard_check.h"
#include "vuzizeri/server/job_runner.h"
#include "vuzizeri/server/job_store.h"
#include "vuzizeri/server/network_policy.h"

// The service's HTTP face: the jobs under /v1, behind the token, and the
// page at / that uses them.
namespace server {

// The most a request's body may hold.
inline constexpr size_t kMostBody = 1 << 20;

struct ApiSettings {
  std::string token;
  std::string videos;      // the movies' folder
  std::string dataFolder;  // the recorder's tables
  NetworkPolicy policy{false, {}};
  agent::StoryboardRules reach;  // the $NOME a storyboard may read; no file: page
  int64_t mostWaiting = 100;     // jobs waiting past which a POST gets 503
};

// Whether `given` equals `expected`, in a time that does not tell how much
// of it did.
bool sameSecret(const std::string& given, const std::string& expected);

class HttpApi {
 public:
  HttpApi(JobStore& store, JobRunner& runner, ApiSettings settings);
  ~HttpApi();
  HttpApi(const HttpApi&) = delete;
  HttpApi& operator=(const HttpApi&) = delete;
  // Listens on every address at `port` (0: one the system picks); the
  // addresses it listens on, or "" with the reason.
  std::string listen(int port, std::string* why);

 private:
  static void early(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*,
                    gpointer self);
  static void handle(SoupServer*, SoupServerMessage* message, const char* path, GHashTable* query,
                     gpointer self);
  enum class Access;
  struct Request;
  struct Route;
  // One line a route: its methods, its path, who may take it, its handler.
  static const std::vector<Route>& routes();
  // Finds the request's route and, once its caller may take it, runs it.
  void serve(SoupServerMessage* message, const std::string& path, GHashTable* query);
  bool admitted(Access access, const Request& request);
  void page(const Request& request);
  void devices(const Request& request);
  void list(const Request& request);
  void post(const Request& request);
  void show(const Request& request);
  void remove(const Request& request);
  void video(const Request& request);
  std::string videoLink(const Job& job);
  bool signedLink(const std::string& id, GHashTable* query);

  JobStore& store_;
  JobRunner& runner_;
  ApiSettings settings_;
  SoupServer* server_;
};

}  // namespace server
