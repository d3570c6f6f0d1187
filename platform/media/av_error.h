#pragma once

#include <string>

namespace media {

// The library's own text for an FFmpeg error code (negative AVERROR value),
// e.g. "No such file or directory" for AVERROR(ENOENT).
std::string avErrorText(int code);
// The same, after the name of the call that failed: "avcodec_open2: …".
std::string avErrorText(const char* call, int code);

// Stops FFmpeg's own log lines, so a program's standard error carries only
// its own messages (which include the library's reason text).
void silenceLibraryLog();

}  // namespace media
