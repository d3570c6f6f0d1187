#include "vuzizeri/server/webhook.h"

#include <libsoup/soup.h>

#include <chrono>
#include <cstdio>

#include "vuzizeri/server/egress_proxy.h"

namespace server {
namespace {

// Attempts, and the waits between them.
constexpr int kAttempts = 4;
constexpr int kFirstWaitMs = 1000;
constexpr int kTimeoutSeconds = 10;

}  // namespace

std::string signature(const std::string& key, const std::string& body) {
  g_autofree char* hex = g_compute_hmac_for_data(
      G_CHECKSUM_SHA256, reinterpret_cast<const guchar*>(key.data()), key.size(),
      reinterpret_cast<const guchar*>(body.data()), body.size());
  return std::string("sha256=") + hex;
}

WebhookSender::WebhookSender(std::string key, NetworkPolicy policy)
    : key_(std::move(key)), policy_(std::move(policy)), thread_([this] { run(); }) {}

WebhookSender::~WebhookSender() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void WebhookSender::send(const std::string& url, const std::string& body) {
  {
    std::lock_guard lock(mutex_);
    queue_.emplace_back(url, body);
  }
  changed_.notify_all();
}

void WebhookSender::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;
    const auto [url, body] = queue_.front();
    queue_.pop_front();
    lock.unlock();
    std::string why;
    int waitMs = kFirstWaitMs;
    for (int attempt = 1; !deliver(url, body, &why); ++attempt) {
      lock.lock();
      const bool last = attempt == kAttempts || stopping_;
      if (!last)
        changed_.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return stopping_; });
      lock.unlock();
      if (last) {
        std::fprintf(stderr, "vuzizeri-servidor: webhook %s: %s\n", url.c_str(), why.c_str());
        break;
      }
      waitMs *= 4;
    }
    lock.lock();
  }
}

bool WebhookSender::deliver(const std::string& url, const std::string& body, std::string* why) {
  // Through the same checks as a page: the receiver's address is judged
  // when it is connected to, not only when the job was posted.
  std::unique_ptr<EgressProxy> proxy;
  if (!policy_.localAllowed()) {
    proxy = EgressProxy::start(policy_, why);
    if (!proxy) return false;
  }
  g_autoptr(SoupSession) session = soup_session_new_with_options(
      "timeout", kTimeoutSeconds, "user-agent", "vuzizeri-servidor", nullptr);
  if (proxy) {
    g_autoptr(GProxyResolver) resolver = g_simple_proxy_resolver_new(proxy->url().c_str(), nullptr);
    soup_session_set_proxy_resolver(session, resolver);
  }
  g_autoptr(SoupMessage) message = soup_message_new("POST", url.c_str());
  if (!message) {
    *why = "URL inválida";
    return false;
  }
  g_autoptr(GBytes) bytes = g_bytes_new(body.data(), body.size());
  soup_message_set_request_body_from_bytes(message, "application/json", bytes);
  soup_message_headers_replace(soup_message_get_request_headers(message), "X-Vuzizeri-Assinatura",
                               signature(key_, body).c_str());
  g_autoptr(GError) error = nullptr;
  g_autoptr(GBytes) answer = soup_session_send_and_read(session, message, nullptr, &error);
  const guint status = soup_message_get_status(message);
  if (!error && status >= 200 && status < 300) return true;
  *why = error ? std::string(error->message) : "HTTP " + std::to_string(status);
  if (proxy && !proxy->refusals().empty()) *why += ": " + proxy->refusals().front();
  return false;
}

}  // namespace server
