#pragma once

#include <string>

namespace process {

// Makes a new folder of mode 0700 named `<prefix>-XXXXXX` under $TMPDIR, or
// /tmp when that is unset. False with the system's reason when it cannot.
bool createRunFolder(const std::string& prefix, std::string* folder, std::string* error);

// Removes `folder` and everything in it, never following a link and never
// crossing into another file system.
void removeTree(const std::string& folder);

// Points every per-user location that libraries write to (HOME, the XDG
// configuration, cache, data, state and runtime folders, TMPDIR) into
// `folder`, and keeps the desktop's session bus and settings out of the run.
void confineUserFolders(const std::string& folder);

}  // namespace process
