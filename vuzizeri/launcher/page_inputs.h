#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "vuzizeri/command_line/arguments.h"

namespace vuz {

// What the options name outside the command line, read before the run
// starts: the user's files, the consent managers' selectors, and the HTTP
// credentials from the environment.
struct PageInputs {
  std::string userStyleSheet;    // hides and removes (elements, banners)
  std::string authorStyleSheet;  // --estilo's file
  std::vector<std::pair<std::string, std::string>> headers;
  std::vector<std::pair<std::string, std::string>> cookies;
  std::optional<std::pair<std::string, std::string>> credentials;  // user, password
};

// The whole file at `path`; false with "não foi possível ler <path>:
// <reason>" in `message` when it cannot be read.
bool readFile(const std::string& path, std::string* text, std::string* message);

// Reads them, and --script's file and --roteiro's steps into `arguments`. VUZIZERI_CREDENCIAIS
// ("usuario:senha") is taken out of the environment, so that nothing the
// run starts sees it. Nothing, with the reason in `message`, when a file
// cannot be read or the credentials are malformed.
std::optional<PageInputs> readPageInputs(Arguments& arguments, const std::string& dataFolder,
                                         std::string* message);

}  // namespace vuz
