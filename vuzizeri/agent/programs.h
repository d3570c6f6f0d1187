#pragma once

#include <optional>
#include <string>

// What a front end knows of the recorder's installation.
namespace agent {

// A program installed beside the running one ("vuzizeri", "vuzizeri-verificar").
std::string siblingProgram(const std::string& name);

// The device table as a JSON list of {nome, largura, altura, escala, topo};
// nothing when the table is missing or unreadable.
std::optional<std::string> deviceListJson(const std::string& dataFolder);

}  // namespace agent
