// vuzizeri-juntar <saida.mp4> <trecho.mp4>...
//
// Puts the parts of one recording made with vuzizeri --trecho K/N (on one
// machine or many) into one MP4, without re-encoding, and reports it as the
// recorder does. The parts may come in any order; each says which it is.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "common/fail.h"
#include "common/input_file.h"
#include "common/output_path.h"
#include "platform/media/av_error.h"
#include "vuzizeri/report/joined_movie.h"
#include "vuzizeri/report/part_labels.h"

int main(int argc, char** argv) {
  reopenClosedStandardDescriptors();
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (args.size() < 2 || args[0].starts_with("-")) {
    writeAll(STDERR_FILENO, "uso: vuzizeri-juntar <saida.mp4> <trecho.mp4>...\n");
    return 2;
  }
  media::silenceLibraryLog();
  const std::string& output = args[0];
  const std::vector<std::string> given(args.begin() + 1, args.end());
  auto refuse = [](const std::string& why) { fail("não foi possível juntar os trechos: " + why); };

  // Every part is read whole, every frame decoded, and the set checked
  // before the output is touched: a refused join leaves whatever stood there.
  std::vector<std::optional<vuz::PartLabel>> labels;
  for (const std::string& part : given) {
    media::MovieContents contents;
    std::string error;
    if (!media::readWholeMovie(part, &contents, &error)) refuse(error);
    labels.push_back(vuz::readPartLabel(contents.tags));
  }
  const vuz::PartSet set = vuz::orderParts(given, labels);
  if (!set.problem.empty()) refuse(set.problem);
  std::vector<std::string> parts;
  for (size_t i : set.order) parts.push_back(given[i]);

  // The output is never one of the parts, under whatever name or link.
  for (const std::string& part : parts)
    if (sameFile(part, output)) fail("a saída é um dos trechos: " + output + " é " + part);
  struct stat out {};
  if (stat(output.c_str(), &out) == 0 && S_ISDIR(out.st_mode))
    fail("a saída é uma pasta: " + output);
  std::string reason;
  const std::optional<StagingFile> staging = createStagingFile(output, &reason);
  if (!staging) fail("não foi possível criar " + output + ": " + reason);
  const std::optional<vuz::JoinedMovie> joined =
      vuz::joinIntoPlace(parts, *staging, output, media::JoinCheck::kDecoded, &reason);
  if (!joined) fail(reason);
  const std::string report = vuz::joinedReportLine(*joined);
  if (!writeAll(STDOUT_FILENO, report))
    fail(std::string("falha ao escrever o relatório: ") + std::strerror(errno));
  return 0;
}
