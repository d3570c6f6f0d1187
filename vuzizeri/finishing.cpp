#include "vuzizeri/finishing.h"

#include <sys/stat.h>

#include <charconv>

#include "vuzizeri/recorder.h"

namespace vuz {

std::string outPathInfo(const std::string& path, int64_t size, double duration) {
  // to_chars is printf's "%.1f" without the locale.
  char seconds[400];
  auto end = std::to_chars(seconds, seconds + sizeof seconds, duration,
                           std::chars_format::fixed, 1).ptr;
  return path + " " + std::to_string(size) + " bytes, " + std::string(seconds, end) + "s";
}

int64_t fileSizeOrZero(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return 0;
  return static_cast<int64_t>(info.st_size);
}

std::string Vuzizeri::outPathInfo() const {
  return vuz::outPathInfo(args.outPath, fileSizeOrZero(args.outPath), lastPTS);
}

void Vuzizeri::terminar() {
  finishing_ = true;
  tell(Progress::Phase::kFinishing);
  writer->markAsFinished();
  writer->finishWriting([this] {
    // A file that could not be completed is not a recording.
    std::string failure = writer->failure();
    if (!failure.empty()) {
      platform_.fail("falha ao finalizar: " + failure);
      return;
    }
    platform_.report("ok " + outPathInfo() + "\n");
  });
}

void Vuzizeri::failUnlessWebProcessEnds(const std::string& message) {
  // WebKit may fail the scripts it was running a moment before it reports
  // that their process has ended; the end, not the silence, is what the
  // user must hear.
  platform_.asyncAfter(kWebProcessEndGraceSeconds, [this, message] { platform_.fail(message); });
}

void Vuzizeri::webProcessEnded() {
  if (finishing_) return;
  platform_.fail("o processo web terminou");
}

}  // namespace vuz
