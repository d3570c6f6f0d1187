#pragma once

#include <string>

namespace process {

// Where the running program's data lives: `<prefix>/share/<name>`, the
// prefix being the folder above the one that holds the executable. That is
// /usr/local/share/<name> for /usr/local/bin/<name> once installed, and
// build/share/<name> for a program anywhere in build/<folder>/.
std::string programDataFolder(const std::string& name);
// The same under lib: `<prefix>/lib/<name>`, for the program's own modules.
std::string programLibraryFolder(const std::string& name);

}  // namespace process
