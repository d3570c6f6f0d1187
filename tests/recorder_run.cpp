#include "recorder_run.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace recorder_run {

pid_t start(const std::vector<std::string>& args, const fs::path& dir, const std::string& tag) {
  fs::path out = dir / (tag + ".stdout"), err = dir / (tag + ".stderr");
  pid_t pid = fork();
  if (pid == 0) {
    int in = open("/dev/null", O_RDONLY);
    int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, STDIN_FILENO);
    dup2(o, STDOUT_FILENO);
    dup2(e, STDERR_FILENO);
    // A decimal-comma locale: numbers in and out must not follow it.
    setenv("LC_ALL", "pt_BR.UTF-8", 1);
    std::vector<char*> argv{const_cast<char*>(VUZIZERI_BINARY)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(VUZIZERI_BINARY, argv.data());
    _exit(127);
  }
  return pid;
}

Outcome wait(pid_t pid, const fs::path& dir, const std::string& tag) {
  int status = 0;
  waitpid(pid, &status, 0);
  Outcome r;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = slurp(dir / (tag + ".stdout"));
  r.err = slurp(dir / (tag + ".stderr"));
  return r;
}

Outcome run(const std::vector<std::string>& args, const fs::path& dir) {
  return wait(start(args, dir), dir);
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

int bindLoopback(int* port) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
  *port = ntohs(address.sin_port);
  return s;
}

std::vector<pid_t> xvfbServers() {
  std::vector<pid_t> pids;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string comm = slurp(entry.path() / "comm");
    std::string stat = slurp(entry.path() / "stat");
    // Zombies are dead already; only live servers count.
    size_t close = stat.rfind(')');
    bool zombie = close != std::string::npos && stat.size() > close + 2 && stat[close + 2] == 'Z';
    if (comm == "Xvfb\n" && !zombie) pids.push_back(std::stoi(name));
  }
  return pids;
}

std::string pageUrl(const std::string& name, const std::string& query) {
  std::string url = "file://" + (fs::path(TEST_PAGES_DIR) / name).string();
  return query.empty() ? url : url + "?" + query;
}

}  // namespace recorder_run
