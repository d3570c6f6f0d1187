#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vuzizeri/command_line/arguments.h"

namespace vuz {

// The table of aparelhos.tsv: one device a line, "name cssW cssH escala
// safeTopPt [raio recorte recorteL recorteA recorteTopo] source" separated
// by tabs (the screen's shape, see ScreenShape; recorte is nenhum, entalhe
// or ilha); blank lines and lines starting with '#' are skipped. Nothing when
// a line has fewer than five fields, or a number that does not parse.
std::optional<std::vector<Device>> parseDevices(std::string_view text);

// "name  cssW  cssH  escala  safeTopPt" lines, the names aligned, for
// --aparelhos.
std::string deviceList(const std::vector<Device>& devices);

}  // namespace vuz
