#include "vuzizeri/agent/programs.h"

#include <filesystem>
#include <vector>

#include "common/input_file.h"
#include "vuzizeri/command_line/devices.h"
#include "vuzizeri/report/json.h"

namespace agent {

std::string siblingProgram(const std::string& name) {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return (error ? std::string(".") : self.parent_path().string()) + "/" + name;
}

std::optional<std::string> deviceListJson(const std::string& dataFolder) {
  std::string why;
  const std::optional<std::vector<vuz::Device>> devices = vuz::parseDevices(
      readInputFile(dataFolder + "/aparelhos.tsv", size_t{1} << 20, &why).value_or(""));
  if (!devices) return std::nullopt;
  std::vector<vuz::JsonValue> rows;
  for (const vuz::Device& d : *devices)
    rows.push_back(vuz::JsonValue::object({{"nome", d.name},
                                           {"largura", d.cssW},
                                           {"altura", d.cssH},
                                           {"escala", d.scale},
                                           {"topo", d.safeTop}}));
  return vuz::JsonValue::list(rows).text();
}

}  // namespace agent
