#include "platform/loop/main_queue.h"

#include <glib.h>

#include <cmath>
#include <ctime>

namespace loop {

double mediaTime() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

namespace {

gboolean runOnce(gpointer data) {
  (*static_cast<std::function<void()>*>(data))();
  return G_SOURCE_REMOVE;
}

void destroyWork(gpointer data) { delete static_cast<std::function<void()>*>(data); }

}  // namespace

void asyncAfter(double seconds, std::function<void()> work) {
  // A ready time in microseconds rather than g_timeout_add's whole
  // milliseconds, so a 6.7 ms wait is not stretched to 7 ms.
  GSource* source = g_timeout_source_new(0);
  gint64 delayUs = seconds > 0 ? static_cast<gint64>(std::ceil(seconds * 1e6)) : 0;
  g_source_set_ready_time(source, g_get_monotonic_time() + delayUs);
  g_source_set_callback(source, runOnce, new std::function<void()>(std::move(work)), destroyWork);
  g_source_attach(source, nullptr);
  g_source_unref(source);
}

}  // namespace loop
