#include "vuzizeri/launcher/run_ending.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/fail.h"
#include "common/output_path.h"
#include "common/progress_line.h"
#include "platform/process/run_guard.h"

namespace vuz {
namespace {

int reportDescriptor = STDOUT_FILENO;
int messageDescriptor = STDERR_FILENO;

void claimEnding() {
  if (!process::claimEnding())
    for (;;) pause();
}

}  // namespace

void keepStandardDescriptorsPrivate() {
  int out = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  int err = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (out < 0 || err < 0 || devNull < 0) return;
  reportDescriptor = out;
  messageDescriptor = err;
  setFailDescriptor(err);
  progress::attach(err);
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) dup2(devNull, fd);
  close(devNull);
}

void failOnce(std::string_view message) {
  claimEnding();
  fail(message);
}

void reportBrokenAndExit(const std::string& line, const std::vector<std::string>& findings) {
  std::string text;
  for (const std::string& finding : findings) text += finding + "\n";
  claimEnding();
  progress::finish();
  writeAll(messageDescriptor, text);
  if (!writeAll(reportDescriptor, line))
    fail(std::string("falha ao escrever o relatório: ") + std::strerror(errno));
  _exit(3);
}

void reportAndExit(const std::string& line, int status) {
  claimEnding();
  progress::finish();
  if (!writeAll(reportDescriptor, line))
    fail(std::string("falha ao escrever o relatório: ") + std::strerror(errno));
  // GTK and WebKit are still alive on the main thread: leave without running
  // any destructor under their feet.
  _exit(status);
}

}  // namespace vuz
