#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "vuzizeri/server/network_policy.h"

// A job's final status, sent to the address its poster gave, on a thread
// of its own so that a slow or dead receiver holds up no recording.
namespace server {

// "sha256=" and the HMAC-SHA256 of `body` under `key`, in hex: what the
// receiver computes with the service's token to know the call is ours.
std::string signature(const std::string& key, const std::string& body);

class WebhookSender {
 public:
  WebhookSender(std::string key, NetworkPolicy policy);
  ~WebhookSender();  // sends what is queued first, without its retries
  void send(const std::string& url, const std::string& body);

 private:
  void run();
  bool deliver(const std::string& url, const std::string& body, std::string* why);
  std::string key_;
  NetworkPolicy policy_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::pair<std::string, std::string>> queue_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace server
