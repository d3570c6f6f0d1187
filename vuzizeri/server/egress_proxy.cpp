#include "vuzizeri/server/egress_proxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <glib.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>

namespace server {
namespace {

constexpr size_t kMostHead = 64 * 1024;
constexpr int kHeadMs = 30'000;
constexpr int kConnectMs = 15'000;
constexpr int kIdleMs = 300'000;
constexpr size_t kMostRefusals = 8;

// Connections still being served, so that the proxy outlives none of them.
std::mutex liveMutex;
std::condition_variable liveChanged;

bool sendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// The request's head, through its blank line, and whatever came after it.
bool readHead(int fd, std::string* head, std::string* rest) {
  std::string got;
  while (got.size() < kMostHead) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, kHeadMs) <= 0) return false;
    char buffer[4096];
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got.append(buffer, static_cast<size_t>(n));
    if (const size_t end = got.find("\r\n\r\n"); end != std::string::npos) {
      *head = got.substr(0, end + 4);
      *rest = got.substr(end + 4);
      return true;
    }
  }
  return false;
}

struct Target {
  std::string host, port;
  bool tunnel = false;  // CONNECT
};

// "CONNECT host:port HTTP/1.1" or "GET http://host[:port]/path HTTP/1.1".
bool parseTarget(const std::string& head, Target* target) {
  const size_t lineEnd = head.find("\r\n");
  const std::string line = head.substr(0, lineEnd);
  const size_t a = line.find(' ');
  const size_t b = line.find(' ', a + 1);
  if (a == std::string::npos || b == std::string::npos) return false;
  const std::string method = line.substr(0, a);
  std::string authority = line.substr(a + 1, b - a - 1);
  target->tunnel = method == "CONNECT";
  if (!target->tunnel) {
    if (g_ascii_strncasecmp(authority.c_str(), "http://", 7) != 0) return false;
    authority = authority.substr(7);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (const size_t at = authority.rfind('@'); at != std::string::npos)
      authority = authority.substr(at + 1);
  }
  std::string port = target->tunnel ? "443" : "80";
  std::string host = authority;
  if (!host.empty() && host[0] == '[') {
    const size_t close = host.find(']');
    if (close == std::string::npos) return false;
    if (close + 1 < host.size()) {
      if (host[close + 1] != ':') return false;
      port = host.substr(close + 2);
    }
    host = host.substr(1, close - 1);
  } else if (const size_t colon = host.rfind(':'); colon != std::string::npos) {
    port = host.substr(colon + 1);
    host = host.substr(0, colon);
  }
  if (host.empty() || port.empty() || port.size() > 5 ||
      port.find_first_not_of("0123456789") != std::string::npos)
    return false;
  target->host = host;
  target->port = port;
  return true;
}

// A plain HTTP request as its origin expects it: the path alone on the
// request line, and one request on the connection. Without keep-alive the
// next request comes on a new connection, to be judged by its own host.
std::string originFormHead(const std::string& head) {
  const size_t a = head.find(' ');
  const size_t scheme = head.find("://", a);
  const size_t path = head.find_first_of("/? ", scheme + 3);
  std::string out = head.substr(0, a + 1);
  if (head[path] != '/') out += '/';
  const size_t lineEnd = head.find("\r\n");
  out += head.substr(path, lineEnd + 2 - path);
  for (size_t at = lineEnd + 2; at < head.size();) {
    const size_t end = head.find("\r\n", at);
    const std::string line = head.substr(at, end - at);
    at = end + 2;
    if (line.empty()) break;
    const std::string name = line.substr(0, line.find(':'));
    if (g_ascii_strcasecmp(name.c_str(), "Connection") == 0 ||
        g_ascii_strcasecmp(name.c_str(), "Proxy-Connection") == 0 ||
        g_ascii_strcasecmp(name.c_str(), "Keep-Alive") == 0 ||
        g_ascii_strcasecmp(name.c_str(), "Proxy-Authorization") == 0)
      continue;
    out += line + "\r\n";
  }
  return out + "Connection: close\r\n\r\n";
}

// A connected socket, or -1 with why not in `error`.
int connectWithin(const sockaddr* address, socklen_t length, int ms, int* error) {
  const int fd = socket(address->sa_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    *error = errno;
    return -1;
  }
  if (connect(fd, address, length) != 0) {
    pollfd p{fd, POLLOUT, 0};
    socklen_t size = sizeof *error;
    *error = errno;
    if (*error == EINPROGRESS) {
      const int ready = poll(&p, 1, ms);
      *error = ready < 0 ? errno : ready == 0 ? ETIMEDOUT : 0;
      if (ready > 0 && getsockopt(fd, SOL_SOCKET, SO_ERROR, error, &size) != 0) *error = errno;
    }
    if (*error != 0) {
      close(fd);
      return -1;
    }
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

// Carries bytes both ways until both sides are done or it sits idle.
void relay(int a, int b) {
  pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
  int peer[2] = {b, a};
  int open = 2;
  while (open > 0) {
    const int ready = poll(fds, 2, kIdleMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[65536];
      const ssize_t n = recv(fds[i].fd, buffer, sizeof buffer, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return;
      if (n == 0) {
        shutdown(peer[i], SHUT_WR);
        fds[i].fd = -1;
        --open;
        continue;
      }
      if (!sendAll(peer[i], buffer, static_cast<size_t>(n))) return;
    }
  }
}

}  // namespace

std::unique_ptr<EgressProxy> EgressProxy::start(const NetworkPolicy& policy, std::string* why) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, 64) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    *why = std::string("proxy: ") + std::strerror(errno);
    if (fd >= 0) close(fd);
    return nullptr;
  }
  return std::unique_ptr<EgressProxy>(new EgressProxy(policy, fd, ntohs(address.sin_port)));
}

EgressProxy::EgressProxy(const NetworkPolicy& policy, int listener, int port)
    : policy_(policy), listener_(listener), port_(port) {
  acceptor_ = std::thread([this] { accept(); });
}

EgressProxy::~EgressProxy() {
  stopping_ = true;
  shutdown(listener_, SHUT_RDWR);
  acceptor_.join();
  close(listener_);
  {
    std::lock_guard lock(mutex_);
    for (int fd : open_) shutdown(fd, SHUT_RDWR);
  }
  // Each connection's thread removes its sockets as it ends.
  std::unique_lock live(liveMutex);
  liveChanged.wait(live, [this] {
    std::lock_guard held(mutex_);
    return open_.empty();
  });
}

std::string EgressProxy::url() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::vector<std::string> EgressProxy::refusals() {
  std::lock_guard lock(mutex_);
  return refusals_;
}

std::vector<std::string> EgressProxy::unreached() {
  std::lock_guard lock(mutex_);
  return unreached_;
}

void EgressProxy::accept() {
  while (!stopping_) {
    const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    std::lock_guard lock(mutex_);
    if (stopping_) {
      close(client);
      return;
    }
    open_.insert(client);
    std::thread([this, client] { serve(client); }).detach();
  }
}

void EgressProxy::refuse(int client, bool tunnel, const std::string& why) {
  {
    std::lock_guard lock(mutex_);
    if (refusals_.size() < kMostRefusals) refusals_.push_back(why);
  }
  // A tunnel refused is a failed connection to the browser. A plain
  // request gets no answer at all, for the same reason: an answer would be
  // shown as the page, and the recording made of it.
  if (!tunnel) return;
  const std::string body = "recusado: " + why + "\n";
  const std::string answer =
      "HTTP/1.1 403 Forbidden\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
      std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  sendAll(client, answer.data(), answer.size());
}

void EgressProxy::unreachable(int client, bool tunnel, const std::string& why) {
  {
    std::lock_guard lock(mutex_);
    if (unreached_.size() < kMostRefusals) unreached_.push_back(why);
  }
  // As with a refusal, a plain request gets no answer: a page of ours in
  // its place would load, and be recorded, where the page did not.
  if (!tunnel) return;
  const char gone[] = "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
  sendAll(client, gone, sizeof gone - 1);
}

void EgressProxy::serve(int client) {
  int upstream = -1;
  std::string head, rest;
  Target target;
  if (!readHead(client, &head, &rest) || !parseTarget(head, &target)) {
    const char bad[] = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    sendAll(client, bad, sizeof bad - 1);
  } else {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    std::string why;
    if (const int error = getaddrinfo(target.host.c_str(), target.port.c_str(), &hints, &found))
      why = target.host + ": " + gai_strerror(error);
    for (addrinfo* a = found; a && why.empty(); a = a->ai_next) {
      const std::string no = policy_.refusal(a->ai_addr);
      if (!no.empty()) why = target.host + ": " + no;
    }
    if (!why.empty()) {
      refuse(client, target.tunnel, why);
    } else {
      int error = 0;
      for (addrinfo* a = found; a && upstream < 0; a = a->ai_next)
        upstream = connectWithin(a->ai_addr, a->ai_addrlen, kConnectMs, &error);
      if (upstream >= 0) {
        std::lock_guard lock(mutex_);
        if (stopping_) {
          close(upstream);
          upstream = -1;
        } else {
          open_.insert(upstream);
        }
      }
      if (upstream < 0) {
        unreachable(client, target.tunnel,
                    target.host + ":" + target.port + ": " + std::strerror(error));
      } else {
        const char established[] = "HTTP/1.1 200 Connection Established\r\n\r\n";
        const std::string request = target.tunnel ? "" : originFormHead(head);
        const bool sent = target.tunnel ? sendAll(client, established, sizeof established - 1)
                                        : sendAll(upstream, request.data(), request.size());
        if (sent && sendAll(upstream, rest.data(), rest.size())) relay(client, upstream);
      }
    }
    if (found) freeaddrinfo(found);
  }
  std::lock_guard live(liveMutex);
  std::lock_guard lock(mutex_);
  for (int fd : {client, upstream}) {
    if (fd < 0) continue;
    open_.erase(fd);
    close(fd);
  }
  liveChanged.notify_all();
}

}  // namespace server
