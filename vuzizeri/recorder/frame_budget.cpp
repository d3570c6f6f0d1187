#include "vuzizeri/recorder/frame_budget.h"

#include <time.h>

#include <array>
#include <cstdio>
#include <cstdlib>

namespace vuz::budget {

namespace {

struct Figures {
  std::array<double, static_cast<size_t>(Phase::kCount)> seconds{};
  double cpuAtStart = 0;
  double cpu = 0;
  long long liftedFrames = 0;
};

Figures& figures() {
  static Figures f;
  return f;
}

const char* file() {
  static const char* path = std::getenv("VUZIZERI_ORCAMENTO");
  return path && *path ? path : nullptr;
}

double threadCpu() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace

double now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

bool enabled() { return file() != nullptr; }

void add(Phase phase, double seconds) {
  if (enabled()) figures().seconds[static_cast<size_t>(phase)] += seconds;
}

void countLiftedFrame() {
  if (enabled()) ++figures().liftedFrames;
}

void startRecording() {
  if (enabled()) figures().cpuAtStart = threadCpu();
}

void stopRecording() {
  if (enabled()) figures().cpu = threadCpu() - figures().cpuAtStart;
}

void write(long long frames, double convertSeconds, double encodeSeconds) {
  if (!enabled()) return;
  FILE* out = std::fopen(file(), "w");
  if (!out) return;
  const Figures& f = figures();
  static const char* const kNames[] = {"passo",      "quadro",  "chegadas", "desenho",
                                       "composicao", "entrega", "posicao"};
  std::fprintf(out, "quadros=%lld", frames);
  for (size_t i = 0; i < f.seconds.size(); ++i)
    std::fprintf(out, " %s=%.3f", kNames[i], f.seconds[i]);
  std::fprintf(out, " levantados=%lld cpu_principal=%.3f conversao=%.3f codificacao=%.3f\n",
               f.liftedFrames, f.cpu, convertSeconds, encodeSeconds);
  std::fclose(out);
}

Span::Span(Phase phase) : phase_(phase), start_(enabled() ? now() : 0) {}

Span::~Span() {
  if (enabled()) add(phase_, now() - start_);
}

}  // namespace vuz::budget
