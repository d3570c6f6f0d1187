#pragma once

#include <cstdint>
#include <string>

namespace vuz {

// "<path> <size> bytes, <seconds, one decimal>s", with the full stop as the
// decimal separator whatever the locale.
std::string outPathInfo(const std::string& path, int64_t size, double duration);

// The file's size in bytes, 0 when it cannot be read.
int64_t fileSizeOrZero(const std::string& path);

}  // namespace vuz
