#pragma once

#include <string>

namespace server {

// The page at /: a form that posts a job with the token the person types,
// the jobs with their progress, and each finished video playing with its
// download link. `devicesJson` is the device table, for its list.
std::string webPage(const std::string& devicesJson);

}  // namespace server
