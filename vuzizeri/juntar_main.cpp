// vuzizeri-juntar <saida.mp4> <trecho.mp4>...
//
// Puts the parts of one recording made with vuzizeri --trecho K/N (on one
// machine or many) into one MP4, without re-encoding, and reports it as the
// recorder does.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "common/fail.h"
#include "common/output_path.h"
#include "platform/media/av_error.h"
#include "platform/media/movie_join.h"
#include "vuzizeri/finishing.h"

int main(int argc, char** argv) {
  reopenClosedStandardDescriptors();
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (args.size() < 2 || args[0].starts_with("-")) {
    writeAll(STDERR_FILENO, "uso: vuzizeri-juntar <saida.mp4> <trecho.mp4>...\n");
    return 2;
  }
  media::silenceLibraryLog();
  const std::string& output = args[0];
  const std::vector<std::string> parts(args.begin() + 1, args.end());
  for (const std::string& part : parts)
    if (part == output) fail("a saída é um dos trechos: " + output);
  removeOldOutput(output);
  // Created here, so that only a file of ours is ever removed after a failure.
  const std::optional<FileIdentity> created = createNewFile(output);
  if (!created) fail("não foi possível criar " + output + ": " + std::strerror(errno));
  double lastFrame = 0;
  std::string error;
  if (!media::joinMovies(parts, output, &lastFrame, &error)) {
    struct stat now {};
    if (stat(output.c_str(), &now) == 0 && now.st_dev == created->device && now.st_ino == created->inode)
      unlink(output.c_str());  // half a movie is no movie
    fail("não foi possível juntar os trechos: " + error);
  }
  const std::string report =
      "ok " + vuz::outPathInfo(output, vuz::fileSizeOrZero(output), lastFrame) + "\n";
  if (!writeAll(STDOUT_FILENO, report))
    fail(std::string("falha ao escrever o relatório: ") + std::strerror(errno));
  return 0;
}
