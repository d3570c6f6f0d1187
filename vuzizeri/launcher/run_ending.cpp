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
  setFailDescriptor(err);
  progress::attach(err);
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) dup2(devNull, fd);
  close(devNull);
}

void failOnce(std::string_view message) {
  claimEnding();
  fail(message);
}

void reportAndExit(const std::string& line) {
  claimEnding();
  progress::finish();
  if (!writeAll(reportDescriptor, line))
    fail(std::string("falha ao escrever o relatório: ") + std::strerror(errno));
  // GTK and WebKit are still alive on the main thread: leave without running
  // any destructor under their feet.
  _exit(0);
}

}  // namespace vuz
