#pragma once

#include <string>

// Form controls as iOS Safari draws them: a user-level sheet of the data
// folder's (controles.css) and, for the date and time fields it cannot
// write, a script in the recorder's own script world.
namespace vuz {

// The script that writes date and time fields as iOS does in the language
// `languageTag` (BCP 47) names.
std::string dateFieldsScript(const std::string& languageTag);

}  // namespace vuz
