#pragma once

#include <optional>
#include <string>

#include "vuzizeri/mcp/tools.h"

namespace mcp {

// gravar: the recorder run as its command line would run it, in a process
// group of its own; a cancellation sends it SIGTERM, on which its guard ends
// the rest of the run and removes the unfinished file. Its report, a poster
// frame and the file's path are the answer.
std::optional<ToolResult> record(const Workspace& workspace, JsonObject* arguments, Call& call,
                                 std::string* invalid);

// A frame of the movie at `path`, about `seconds` in, as a PNG at most
// `width` pixels wide, in base64; nothing when it cannot be had.
std::optional<std::string> posterPng(const std::string& path, double seconds, int width);

}  // namespace mcp
