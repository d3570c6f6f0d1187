#include "platform/media/thread_budget.h"

#include <algorithm>

namespace media {

namespace {

constexpr int kCoderThreadsPerConverter = 12;

}  // namespace

int64_t writerMemory(bool proRes, int64_t width, int64_t height, int coderThreads) {
  const int64_t pixels = width * height;
  const int64_t bgra = pixels * 4;
  const int64_t converted = pixels * (proRes ? 8 : 3);
  const int64_t packet = proRes ? pixels * 9 : 0;
  return bgra * (kQueueCapacity + 3) + (converted + packet) * coderThreads + converted * 4;
}

int coderThreads(bool proRes, int cpus, int64_t memory, int64_t width, int64_t height) {
  for (int threads = std::max(1, cpus); threads >= 1; --threads)
    if (writerMemory(proRes, width, height, threads) <= memory) return threads;
  return 0;
}

int conversionThreads(int coderThreads) {
  return std::max(1, (coderThreads + kCoderThreadsPerConverter - 1) / kCoderThreadsPerConverter);
}

}  // namespace media
