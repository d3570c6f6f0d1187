// tessane: raw RGBA frames on standard input → Apple ProRes 4444 QuickTime
// movie, one frame per 1/fps second; prints the number of frames written.

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "common/fail.h"
#include "common/number_syntax.h"
#include "common/output_path.h"
#include "common/progress_line.h"
#include "platform/media/av_error.h"
#include "platform/media/writer/video_writer.h"
#include "tessane/frame_intake.h"

namespace {

constexpr char kUsage[] = "uso: tessane <largura> <altura> <fps> <saida.mov>\n";

[[noreturn]] void usage() {
  writeAll(STDERR_FILENO, kUsage);
  _exit(2);
}

// --help, -h and --version answer on standard output; anything else is the
// four arguments.
void answerInformationOptions(int argc, char** argv) {
  if (argc < 2) return;
  const std::string option = argv[1];
  std::string text;
  if (option == "--help" || option == "-h") {
    text = std::string(kUsage) +
           "Lê quadros RGBA de largura × altura × 4 bytes da entrada padrão até o fim e os\n"
           "grava em ProRes 4444 com alfa num filme QuickTime, um quadro a cada 1/fps s;\n"
           "escreve o número de quadros gravados.\n"
           "opções:\n"
           "  --help, -h                  mostra esta ajuda e sai\n"
           "  --version                   mostra a versão e sai\n";
  } else if (option == "--version") {
    text = "tessane " PROJECT_VERSION_TEXT "\n";
  } else {
    return;
  }
  if (!writeAll(STDOUT_FILENO, text))
    fail(std::string("falha ao escrever a saída: ") + std::strerror(errno));
  std::exit(0);
}

int64_t positiveArgument(const char* text) {
  std::optional<int64_t> value = parseInt64(text);
  if (!value || *value < 1) usage();
  return *value;
}

}  // namespace

int main(int argc, char** argv) {
  reopenClosedStandardDescriptors();
  // A reader that went away is an error to report, not a silent death.
  signal(SIGPIPE, SIG_IGN);
  answerInformationOptions(argc, argv);
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
  progress::attach(STDERR_FILENO);

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
  progress::show("finalizando", true);
  finishMovie(*writer, frames);
  progress::finish();

  if (!writeAll(STDOUT_FILENO, std::to_string(frames) + "\n"))
    fail(std::string("falha ao escrever a contagem de quadros: ") + std::strerror(errno));
  return 0;
}
