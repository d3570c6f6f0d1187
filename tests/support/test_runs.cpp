#include "test_runs.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <regex>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace test_runs {

pid_t start(const std::string& binary, const std::vector<std::string>& args, const fs::path& dir,
            const Options& options, const std::string& tag, int* input) {
  int in[2];
  if (pipe(in) != 0) return -1;
  const fs::path out =
      options.stdoutPath.empty() ? dir / (tag + ".stdout") : fs::path(options.stdoutPath);
  const fs::path err = dir / (tag + ".stderr");
  pid_t pid = fork();
  if (pid == 0) {
    if (options.nonBlockingInput) fcntl(in[0], F_SETFL, O_NONBLOCK);
    dup2(in[0], STDIN_FILENO);
    dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
    dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
    for (int fd = 3; fd < 64; ++fd) close(fd);
    for (const std::string& e : options.env) putenv(const_cast<char*>(e.c_str()));
    if (options.fileSizeLimit != RLIM_INFINITY) {
      // Writes past the limit then fail with EFBIG, like a full disk.
      signal(SIGXFSZ, SIG_IGN);
      rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (options.closedDescriptor >= 0) close(options.closedDescriptor);
    std::vector<char*> argv{const_cast<char*>(binary.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  close(in[0]);
  if (input)
    *input = in[1];
  else
    close(in[1]);
  return pid;
}

Outcome wait(pid_t pid, const fs::path& dir, const std::string& tag) {
  int status = 0;
  waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
          slurp(dir / (tag + ".stdout")), slurp(dir / (tag + ".stderr"))};
}

Outcome run(const std::string& binary, const std::vector<std::string>& args, const fs::path& dir,
            const Options& options) {
  signal(SIGPIPE, SIG_IGN);
  int input = -1;
  pid_t pid = start(binary, args, dir, options, "run", &input);
  for (size_t at = 0; at < options.input.size(); at += options.piece) {
    size_t n = std::min(options.piece, options.input.size() - at);
    if (write(input, options.input.data() + at, n) != static_cast<ssize_t>(n)) break;
    if (options.pauseMs) std::this_thread::sleep_for(std::chrono::milliseconds(options.pauseMs));
  }
  close(input);
  return wait(pid, dir);
}

std::string slurp(const fs::path& path) {
  // A file of /proc whose process ends while it is read reads as nothing.
  try {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  } catch (const std::ios_base::failure&) {
    return {};
  }
}

void writeFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

Options recorderOptions(const fs::path& dir) {
  fs::create_directories(dir / "home");
  fs::create_directories(dir / "tmp");
  // A decimal-comma locale: numbers in and out must not follow it.
  return {.env = {"LC_ALL=pt_BR.UTF-8", "HOME=" + (dir / "home").string(),
                  "TMPDIR=" + (dir / "tmp").string()}};
}

std::string leftovers(const fs::path& dir) {
  std::string found;
  for (const char* scratch : {"home", "tmp"})
    for (const auto& entry : fs::recursive_directory_iterator(dir / scratch))
      found += entry.path().string() + "\n";
  for (const auto& entry : fs::directory_iterator("/proc"))
    if (slurp(entry.path() / "environ").find(dir.string()) != std::string::npos)
      found += "process " + entry.path().filename().string() + " " + slurp(entry.path() / "comm");
  return found;
}

std::string pageUrl(const std::string& name, const std::string& query) {
  std::string url = "file://" + (fs::path(TEST_PAGES_DIR) / name).string();
  return query.empty() ? url : url + "?" + query;
}

PageServer::PageServer(std::map<std::string, Response> routes) : routes_(std::move(routes)) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
  port_ = ntohs(address.sin_port);
  listen(listener_, 16);
  acceptor_ = std::thread([this] {
    for (;;) {
      int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) return;
      std::lock_guard lock(mutex_);
      clients_.emplace_back([this, client] { serve(client); });
    }
  });
}

PageServer::~PageServer() {
  shutdown(listener_, SHUT_RDWR);
  close(listener_);
  acceptor_.join();
  for (std::thread& t : clients_) t.join();
}

std::string PageServer::url(const std::string& path, const std::string& host) const {
  return "http://" + host + ":" + std::to_string(port_) + path;
}

void PageServer::route(const std::string& path, Response response) {
  std::lock_guard lock(mutex_);
  routes_[path] = std::move(response);
}

std::string PageServer::request(const std::string& path) {
  std::lock_guard lock(mutex_);
  return requests_[path];
}

bool PageServer::delivered(const std::string& path) {
  std::lock_guard lock(mutex_);
  return delivered_[path];
}

void PageServer::serve(int client) {
  timeval timeout{5, 0};  // a client that stops reading must not hold us
  setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  // The head, and a body (a webhook's POST) with it.
  std::string request;
  std::smatch m;
  const std::regex length("\r\nContent-Length: *([0-9]+)", std::regex::icase);
  for (char buffer[4096];;) {
    const size_t headEnd = request.find("\r\n\r\n");
    if (headEnd != std::string::npos && (!std::regex_search(request, m, length) ||
                                         request.size() >= headEnd + 4 + std::stoul(m[1])))
      break;
    const ssize_t n = read(client, buffer, sizeof buffer);
    if (n <= 0) break;
    request.append(buffer, n);
  }
  std::string path =
      std::regex_search(request, m, std::regex("^(?:GET|POST) ([^ ]*) ")) ? m[1].str() : "";
  Response r{"404 Not Found", "", ""};
  {
    std::lock_guard lock(mutex_);
    requests_[path] = request;
    if (auto route = routes_.find(path); route != routes_.end()) r = route->second;
  }
  for (const std::string& line : r.needs)
    if (request.find("\r\n" + line + "\r\n") == std::string::npos)
      r = {"401 Unauthorized", "Content-Type: text/html\r\nWWW-Authenticate: Basic realm=\"r\"\r\n",
           "<body style='margin:0;background:#f00'></body>"};
  std::this_thread::sleep_for(std::chrono::milliseconds(r.delayMs));
  std::string response = "HTTP/1.1 " + r.status + "\r\n" + r.headers +
                         "Content-Length: " + std::to_string(r.body.size()) +
                         "\r\nConnection: close\r\n\r\n" + r.body;
  size_t sent = 0;
  while (sent < response.size()) {
    ssize_t n = send(client, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += n;
  }
  if (sent == response.size()) {
    std::lock_guard lock(mutex_);
    delivered_[path] = true;
  }
  close(client);
}

Loudness measuredLoudness(const std::filesystem::path& movie, double from, double seconds) {
  const Outcome o =
      run("/usr/bin/ffmpeg",
          {"-hide_banner", "-nostats", "-ss", std::to_string(from), "-t", std::to_string(seconds),
           "-i", movie, "-vn", "-af", "ebur128=peak=true:framelog=verbose", "-f", "null", "-"},
          movie.parent_path());
  EXPECT_EQ(o.status, 0) << o.err;
  // The summary's lines, the last of the log.
  std::smatch i, peak;
  const bool found =
      std::regex_search(o.err, i, std::regex(R"(I:\s+(-?[0-9.]+) LUFS\s+Threshold)")) &&
      std::regex_search(o.err, peak, std::regex(R"(Peak:\s+(-?[0-9.]+|-inf) dBFS)"));
  EXPECT_TRUE(found) << o.err;
  if (!found) return {};
  return {std::stod(i[1]), peak[1] == "-inf" ? -HUGE_VAL : std::stod(peak[1])};
}

}  // namespace test_runs
