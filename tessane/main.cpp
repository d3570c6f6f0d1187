// tessane: raw RGBA frames on standard input → Apple ProRes 4444 QuickTime
// movie, one frame per 1/fps second; prints the number of frames written.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "common/fail.h"
#include "common/integer_syntax.h"
#include "common/old_output.h"
#include "platform/media/av_error.h"
#include "platform/media/video_writer.h"
#include "tessane/frame_intake.h"

namespace {

[[noreturn]] void usage() {
  static const char kUsage[] = "uso: tessane <largura> <altura> <fps> <saida.mov>\n";
  ssize_t ignored = ::write(STDERR_FILENO, kUsage, sizeof kUsage - 1);
  (void)ignored;
  _exit(2);
}

int64_t positiveArgument(const char* text) {
  std::optional<int64_t> value = parseInt64(text);
  if (!value || *value < 1) usage();
  return *value;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) usage();
  FrameFormat format;
  format.width = positiveArgument(argv[1]);
  format.height = positiveArgument(argv[2]);
  int64_t fps = positiveArgument(argv[3]);
  // The rate is the track timescale (32 bits), and a frame's byte count must
  // be representable; anything else is a command-line error.
  int64_t frameBytes = 0;
  if (fps > INT32_MAX || __builtin_mul_overflow(format.width, format.height, &frameBytes) ||
      __builtin_mul_overflow(frameBytes, int64_t{4}, &frameBytes)) {
    usage();
  }
  format.fps = static_cast<int32_t>(fps);
  const std::string outputPath = argv[4];

  media::silenceLibraryLog();

  removeOldOutput(outputPath);

  std::string reason;
  std::unique_ptr<media::VideoWriter> writer =
      media::VideoWriter::create(outputPath, media::FileType::kQuickTimeMovie, &reason);
  if (!writer) fail("não foi possível criar o arquivo: " + reason);

  media::VideoInputSettings settings;
  settings.codec = media::VideoCodec::kProRes4444;
  settings.width = format.width;
  settings.height = format.height;
  settings.timescale = format.fps;
  settings.expectsMediaDataInRealTime = false;
  if (!writer->addInput(settings)) fail("o writer recusou a trilha de vídeo");
  if (!writer->startWriting()) {
    reason = writer->error();
    fail("falha ao iniciar: " + (reason.empty() ? std::string("motivo desconhecido") : reason));
  }

  int64_t frames = appendFrames(*writer, format, STDIN_FILENO);
  finishMovie(*writer, frames);

  std::string count = std::to_string(frames) + "\n";
  if (::write(STDOUT_FILENO, count.data(), count.size()) != static_cast<ssize_t>(count.size())) {
    return 1;
  }
  return 0;
}
