#include "platform/media/av_error.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace media {

std::string avErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  if (av_strerror(code, text, sizeof text) < 0) {
    return "unknown error " + std::to_string(code);
  }
  return text;
}

std::string avErrorText(const char* call, int code) {
  return std::string(call) + ": " + avErrorText(code);
}

void silenceLibraryLog() { av_log_set_level(AV_LOG_QUIET); }

}  // namespace media
