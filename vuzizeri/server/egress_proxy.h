#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "vuzizeri/server/network_policy.h"

// The way out for one job's page: an HTTP proxy on loopback that the
// recorder's web view sends every request through (the page, its frames,
// redirects, sockets). It resolves each host itself, refuses the whole
// host when any of its addresses is one the policy refuses, and connects
// to the very address it checked, so that a name cannot point elsewhere
// between the check and the connection.
namespace server {

class EgressProxy {
 public:
  // Nothing, with the reason, when it cannot listen.
  static std::unique_ptr<EgressProxy> start(const NetworkPolicy& policy, std::string* why);
  ~EgressProxy();  // ends every connection it carries
  EgressProxy(const EgressProxy&) = delete;
  EgressProxy& operator=(const EgressProxy&) = delete;

  std::string url() const;  // http://127.0.0.1:PORT
  // The requests it refused, with why, the first few.
  std::vector<std::string> refusals();
  // The hosts it could not reach, with why, the first few.
  std::vector<std::string> unreached();

 private:
  EgressProxy(const NetworkPolicy& policy, int listener, int port);
  void accept();
  void serve(int client);
  void refuse(int client, bool tunnel, const std::string& why);
  void unreachable(int client, bool tunnel, const std::string& why);

  NetworkPolicy policy_;
  int listener_;
  int port_;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::set<int> open_;  // every socket a connection holds, to end them all
  std::vector<std::thread> connections_;
  std::vector<std::string> refusals_;
  std::vector<std::string> unreached_;
  std::thread acceptor_;
};

}  // namespace server
