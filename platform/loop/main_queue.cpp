#include "platform/loop/main_queue.h"

#include <glib-unix.h>
#include <glib.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cmath>
#include <ctime>

namespace loop {

double mediaTime() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

namespace {

struct DelayedWork {
  std::function<void()> work;
  int timer = -1;
};

gboolean runOnce(gpointer data) {
  (*static_cast<std::function<void()>*>(data))();
  return G_SOURCE_REMOVE;
}

void destroyWork(gpointer data) { delete static_cast<std::function<void()>*>(data); }

gboolean runDelayed(gint, GIOCondition, gpointer data) {
  static_cast<DelayedWork*>(data)->work();
  return G_SOURCE_REMOVE;
}

void destroyDelayed(gpointer data) {
  auto* delayed = static_cast<DelayedWork*>(data);
  close(delayed->timer);
  delete delayed;
}

}  // namespace

void asyncAfter(double seconds, std::function<void()> work) {
  if (seconds > 0) {
    // GLib's own timeouts wake the loop in whole milliseconds, up to one late:
    // a capture paced to pictures 16.2 ms apart needs better. A timer
    // descriptor wakes it to the microsecond.
    const int timer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    if (timer >= 0) {
      const auto ns = static_cast<long long>(std::ceil(seconds * 1e9));
      itimerspec when{};
      when.it_value.tv_sec = static_cast<time_t>(ns / 1000000000);
      when.it_value.tv_nsec = static_cast<long>(ns % 1000000000);
      if (timerfd_settime(timer, 0, &when, nullptr) == 0) {
        g_unix_fd_add_full(G_PRIORITY_DEFAULT, timer, G_IO_IN, runDelayed,
                           new DelayedWork{std::move(work), timer}, destroyDelayed);
        return;
      }
      close(timer);
    }
  }
  GSource* source = g_timeout_source_new(0);
  gint64 delayUs = seconds > 0 ? static_cast<gint64>(std::ceil(seconds * 1e6)) : 0;
  g_source_set_ready_time(source, g_get_monotonic_time() + delayUs);
  g_source_set_callback(source, runOnce, new std::function<void()>(std::move(work)), destroyWork);
  g_source_attach(source, nullptr);
  g_source_unref(source);
}

}  // namespace loop
