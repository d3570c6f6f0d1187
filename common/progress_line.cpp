#include "common/progress_line.h"

#include <unistd.h>

#include <chrono>
#include <mutex>
#include <string>

#include "common/fail.h"

namespace progress {

namespace {

constexpr auto kInterval = std::chrono::milliseconds(100);
// Back to the start of the line and clear it.
constexpr char kErase[] = "\r\033[K";

std::mutex mutex;
int terminal = -1;
bool shown = false;
std::chrono::steady_clock::time_point lastShown;

}  // namespace

void attach(int fd) {
  std::lock_guard lock(mutex);
  terminal = isatty(fd) ? fd : -1;
}

bool onTerminal() {
  std::lock_guard lock(mutex);
  return terminal >= 0;
}

void show(std::string_view text, bool force) {
  std::lock_guard lock(mutex);
  if (terminal < 0) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && shown && now - lastShown < kInterval) return;
  writeAll(terminal, kErase + std::string(text));
  shown = true;
  lastShown = now;
}

void finish() {
  std::lock_guard lock(mutex);
  if (terminal >= 0 && shown) writeAll(terminal, kErase);
  terminal = -1;
}

}  // namespace progress
